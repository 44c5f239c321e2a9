#include "dbconfig/form_pwcrypt.h"

#include "config/helpers.h"
#include "config/ini_file.h"
#include "config/password.h"
#include "db/db_error.h"
#include "dbconfig/path_label.h"
#include "gui/dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString kSection = QStringLiteral("Korvinconnection");
const QString kConfigFilter = QStringLiteral("Database config files for Varnholt (*.vdbcfg)|*.vdbcfg");
const QString kConfigExtension = QStringLiteral("vdbcfg");
const QString kAccessFilter = QStringLiteral("Access-Datenbanken (*.mdb, *.accdb)|*.mdb;*.accdb|"
                                             "Access 2007-Dateien (*.mdb)|*.mdb|"
                                             "Access 2010-Dateien (*.accdb)|*.accdb");

const QString kAccess = QStringLiteral("MSACCESS");
const QString kMSSQL = QStringLiteral("MSSQL");
const QString kOracle = QStringLiteral("ORACLE");
const QString kPostgres = QStringLiteral("POSTGRESQL");
const QString kSQLite = QStringLiteral("SQLITE");

bool HasSchema(const QString& format)
{
    return format == kMSSQL || format == kPostgres;
}

/// A caption with its control right below it, as one cell of the panels.
QWidget* Captioned(QLabel* caption, QWidget* control, QWidget* parent)
{
    auto* cell = new QWidget(parent);
    auto* layout = new QVBoxLayout(cell);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(caption);
    layout->addWidget(control);
    caption->setBuddy(control);
    return cell;
}

} // namespace

QFont DBConfigWindowFont()
{
    QFont font;
    // Narrow faces first: the window's fixed size was laid out for Tahoma.
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(9);
    return font;
}

TForm1::TForm1(const QString& configFile, const TForm1Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FConfigFile(configFile), FBoxes(services.Boxes), FFileDialogs(services.FileDialogs),
      FGroupDir(services.GroupDir)
{
    if (!FBoxes) {
        FOwnBoxes = std::make_unique<TWidgetMessageBoxes>(this);
        FBoxes = FOwnBoxes.get();
    }
    if (!FFileDialogs) {
        FOwnFileDialogs = std::make_unique<TWidgetFileDialogs>(this);
        FFileDialogs = FOwnFileDialogs.get();
    }
    if (!FGroupDir)
        FGroupDir = [] { return GetGroupDir(); };

    setWindowTitle(QStringLiteral("Datenbankzugriff konfigurieren"));
    setFont(DBConfigWindowFont());
    CreateControls();
    ApplyFixedSize();
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::CreateControls()
{
    auto* mainLayout = new QVBoxLayout(this);
    mainLayout->setContentsMargins(8, 6, 8, 8);
    mainLayout->setSpacing(6);

    lblCfgFile = new TPathLabel(this);
    lblCfgFile->setObjectName(QStringLiteral("lblCfgFile"));
    mainLayout->addWidget(lblCfgFile);

    GroupBox1 = new QGroupBox(QStringLiteral("Zugriffsparameter"), this);
    auto* groupLayout = new QVBoxLayout(GroupBox1);
    groupLayout->setContentsMargins(8, 4, 8, 6);
    groupLayout->setSpacing(6);
    mainLayout->addWidget(GroupBox1, 1);

    // Format list
    pnlDBFmt = new QWidget(GroupBox1);
    {
        auto* layout = new QHBoxLayout(pnlDBFmt);
        layout->setContentsMargins(0, 0, 0, 0);
        cbxDBFormat = new QComboBox(pnlDBFmt);
        cbxDBFormat->setEditable(false);
        cbxDBFormat->setMinimumWidth(150);
        layout->addWidget(Captioned(new QLabel(QStringLiteral("Datenbankformat")), cbxDBFormat, pnlDBFmt));
        layout->addStretch(1);
    }
    groupLayout->addWidget(pnlDBFmt);

    // Server panel
    pnlSQL = new QWidget(GroupBox1);
    {
        auto* grid = new QGridLayout(pnlSQL);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setHorizontalSpacing(8);
        grid->setVerticalSpacing(4);
        edServer = new QLineEdit(pnlSQL);
        edPort = new QLineEdit(QStringLiteral("0"), pnlSQL);
        edPort->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edPort));
        edUser = new QLineEdit(pnlSQL);
        edPW = new QLineEdit(pnlSQL);
        edPW->setEchoMode(QLineEdit::Password);
        edDatabase = new QLineEdit(pnlSQL);
        lblSchema = new QLabel(QStringLiteral("Schema"), pnlSQL);
        edSchema = new QLineEdit(pnlSQL);
        chbxDirect =
            new QCheckBox(QStringLiteral("Direkten Zugriff verwenden (ohne Client-Installation)"), pnlSQL);

        grid->addWidget(Captioned(new QLabel(QStringLiteral("Server")), edServer, pnlSQL), 0, 0, 1, 2);
        grid->addWidget(Captioned(new QLabel(QStringLiteral("Port")), edPort, pnlSQL), 0, 2);
        grid->addWidget(Captioned(new QLabel(QStringLiteral("Benutzername")), edUser, pnlSQL), 1, 0);
        grid->addWidget(Captioned(new QLabel(QStringLiteral("Kennwort")), edPW, pnlSQL), 1, 1);
        grid->addWidget(Captioned(new QLabel(QStringLiteral("Datenbank")), edDatabase, pnlSQL), 2, 0, 1, 2);
        grid->addWidget(Captioned(lblSchema, edSchema, pnlSQL), 2, 2);
        grid->addWidget(chbxDirect, 3, 0, 1, 3);
        grid->setColumnStretch(0, 3);
        grid->setColumnStretch(1, 3);
        grid->setColumnStretch(2, 2);
    }
    groupLayout->addWidget(pnlSQL);

    // Database-file panel
    pnlAcc = new QWidget(GroupBox1);
    {
        auto* layout = new QVBoxLayout(pnlAcc);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(1);
        auto* caption = new QLabel(QStringLiteral("Name der zugehörigen Datenbank-Datei"), pnlAcc);
        layout->addWidget(caption);
        auto* row = new QHBoxLayout;
        row->setSpacing(2);
        edDBFile = new QLineEdit(pnlAcc);
        caption->setBuddy(edDBFile);
        btnDBFile = new QToolButton(pnlAcc);
        btnDBFile->setText(QStringLiteral("…"));
        btnDBFile->setToolTip(QStringLiteral("Datei auswählen"));
        row->addWidget(edDBFile, 1);
        row->addWidget(btnDBFile);
        layout->addLayout(row);
        layout->addStretch(1);
    }
    groupLayout->addWidget(pnlAcc, 1);
    groupLayout->addStretch(0);

    // TANV server panel, below the access parameters
    pnlTANVServer = new QWidget(this);
    {
        auto* layout = new QGridLayout(pnlTANVServer);
        layout->setContentsMargins(8, 0, 8, 0);
        layout->setHorizontalSpacing(8);
        edTANVServerURL = new QLineEdit(QStringLiteral("localhost"), pnlTANVServer);
        chbxTestTANV = new QCheckBox(QStringLiteral("Beim Verbindungstest berücksichtigen"), pnlTANVServer);
        layout->addWidget(
            Captioned(new QLabel(QStringLiteral("URL für TANV-Server")), edTANVServerURL, pnlTANVServer), 0,
            0);
        layout->addWidget(chbxTestTANV, 0, 1, Qt::AlignBottom);
        layout->setColumnStretch(0, 1);
    }
    mainLayout->addWidget(pnlTANVServer);

    // Button bar
    Panel1 = new QWidget(this);
    {
        auto* layout = new QHBoxLayout(Panel1);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(6);
        btnConnect = new QPushButton(QStringLiteral("Verbindungstest"), Panel1);
        btnOpen = new QPushButton(QStringLiteral("Datei öffnen"), Panel1);
        Button1 = new QPushButton(QStringLiteral("Datei speichern"), Panel1);
        btnClose = new QPushButton(QStringLiteral("Schließen"), Panel1);
        for (QPushButton* button : {btnConnect, btnOpen, Button1, btnClose}) {
            button->setAutoDefault(false);
            layout->addWidget(button);
        }
        layout->insertStretch(3, 1);
    }
    mainLayout->addWidget(Panel1);

    connect(cbxDBFormat, &QComboBox::currentIndexChanged, this, [this] { cbxDBFormatChange(); });
    connect(btnDBFile, &QToolButton::clicked, this, [this] { edDBFileBrowse(); });
    connect(btnConnect, &QPushButton::clicked, this, [this] { Guarded([this] { btnConnectClick(); }); });
    connect(btnOpen, &QPushButton::clicked, this, [this] { Guarded([this] { btnOpenClick(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
    connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });

    pnlSQL->hide();
    pnlAcc->hide();
    lblSchema->hide();
    edSchema->hide();
    chbxDirect->hide();
    pnlTANVServer->hide();
}

void TForm1::ApplyFixedSize()
{
    int height = ClientHeight;
    if (TANVPanelVisible())
        height += pnlTANVServer->sizeHint().height() + layout()->spacing();
    setFixedSize(ClientWidth, height);
}

void TForm1::Guarded(const std::function<void()>& handler)
{
    // Errors must not unwind through Qt's signal code; the user sees their text and the window
    // stays usable, as with the application's own error report.
    try {
        handler();
    } catch (const EIniWriteError& e) {
        FBoxes->Error(e.Message());
    } catch (const EDatabaseError& e) {
        FBoxes->Error(e.Message());
    } catch (const std::exception& e) {
        FBoxes->Error(QString::fromUtf8(e.what()));
    }
}

void TForm1::FormCreate()
{
    {
        // Filling the list selects its first entry on the way; that is no user's choice.
        const QSignalBlocker blocker(cbxDBFormat);
        cbxDBFormat->clear();
        cbxDBFormat->addItems({kAccess, kMSSQL, kOracle, kPostgres});
        cbxDBFormat->setCurrentIndex(-1);
    }
    cbxDBFormatChange();

    if (!FConfigFile.isEmpty()) {
        ReadConfigFile(FConfigFile);
        lblCfgFile->setText(FConfigFile);
    } else {
        lblCfgFile->hide();
    }
}

QString TForm1::DBFormat() const
{
    return cbxDBFormat->currentIndex() < 0 ? QString() : cbxDBFormat->currentText();
}

void TForm1::SetTANVPanelVisible(bool visible)
{
    pnlTANVServer->setVisible(visible);
    ApplyFixedSize();
}

bool TForm1::TANVPanelVisible() const
{
    return !pnlTANVServer->isHidden();
}

void TForm1::cbxDBFormatChange()
{
    const QString format = DBFormat();
    const bool isAccess = format == kAccess;
    const bool isServer = format == kMSSQL || format == kOracle || format == kPostgres;

    pnlAcc->setVisible(isAccess);
    pnlSQL->setVisible(isServer);
    lblSchema->setVisible(HasSchema(format));
    edSchema->setVisible(HasSchema(format));
    const bool direct = format == kOracle;
    chbxDirect->setVisible(direct);
    // A hidden box must not carry a setting into a file saved for another format.
    if (!direct)
        chbxDirect->setChecked(false);
    if (isAccess)
        edDBFileFilter = kAccessFilter;
}

bool TForm1::CheckInput()
{
    const QString format = DBFormat();
    QString message;
    if (format == kAccess) {
        if (edDBFile->text().isEmpty())
            message = QStringLiteral("Keine Datenbankdatei angegeben");
    } else {
        const bool hasDatabaseRule = format != kOracle;
        if (edServer->text().isEmpty())
            message = QStringLiteral("Kein Datenbankserver angegeben");
        else if (hasDatabaseRule && edDatabase->text().isEmpty())
            message = QStringLiteral("Keine Datenbank angegeben");
        else if (format == kPostgres && edSchema->text().isEmpty())
            message = QStringLiteral("Kein Schema angegeben");
    }
    if (message.isEmpty())
        return true;
    FBoxes->Error(message);
    return false;
}

void TForm1::Button1Click()
{
    if (!CheckInput())
        return;
    const QString fileName = FFileDialogs->SaveFile(QStringLiteral("Speichern unter"), FConfigFile,
                                                    kConfigFilter, kConfigExtension, true);
    if (fileName.isEmpty())
        return;
    FConfigFile = fileName;
    WriteConfigFile(fileName);
    lblCfgFile->setText(fileName);
}

void TForm1::WriteConfigFile(const QString& fileName)
{
    TIniFile ini(fileName);
    // One write of the whole file: a save that fails half-way leaves the old file as it was.
    ini.BeginUpdate();
    ini.EraseSection(kSection);
    const QString format = DBFormat();
    ini.WriteString(kSection, QStringLiteral("ProviderName"), format);
    ini.WriteString(kSection, QStringLiteral("ProviderType"), format);
    if (format == kAccess) {
        ini.WriteString(kSection, QStringLiteral("Database"), edDBFile->text());
        ini.EndUpdate();
        return;
    }
    ini.WriteString(kSection, QStringLiteral("Server"), edServer->text());
    ini.WriteString(kSection, QStringLiteral("Port"), edPort->text());
    ini.WriteString(kSection, QStringLiteral("Database"), edDatabase->text());
    ini.WriteString(kSection, QStringLiteral("Username"), edUser->text());
    ini.WriteString(kSection, QStringLiteral("Password"),
                    edPW->text().isEmpty() ? QString() : EncryptPassword(edPW->text(), QString()));
    ini.WriteBool(kSection, QStringLiteral("Direct"), chbxDirect->isChecked());
    if (HasSchema(format))
        ini.WriteString(kSection, QStringLiteral("Schema"), edSchema->text());
    if (TANVPanelVisible())
        ini.WriteString(kSection, QStringLiteral("TANVServerURL"), edTANVServerURL->text());
    ini.EndUpdate();
}

void TForm1::ReadConfigFile(const QString& fileName)
{
    const TIniFile ini(fileName);
    const QString providerName =
        ini.ReadString(kSection, QStringLiteral("ProviderName"), QString()).toUpper();
    QString providerType = ini.ReadString(kSection, QStringLiteral("ProviderType"), QString()).toUpper();
    if (providerType.isEmpty())
        providerType = providerName;

    const int index = providerType.isEmpty() ? -1 : cbxDBFormat->findText(providerType, Qt::MatchExactly);
    if (index < 0)
        return;
    {
        const QSignalBlocker blocker(cbxDBFormat);
        cbxDBFormat->setCurrentIndex(index);
    }

    // The fields follow ProviderName; ProviderType only chose the entry shown.
    if (providerName == kAccess || providerName == kSQLite) {
        edDBFile->setText(ini.ReadString(kSection, QStringLiteral("Database"), QString()));
    } else {
        edServer->setText(ini.ReadString(kSection, QStringLiteral("Server"), QString()));
        edPort->setText(ini.ReadString(kSection, QStringLiteral("Port"), QStringLiteral("0")));
        edDatabase->setText(ini.ReadString(kSection, QStringLiteral("Database"), QString()));
        edUser->setText(ini.ReadString(kSection, QStringLiteral("Username"), QString()));
        QString password = ini.ReadString(kSection, QStringLiteral("Password"), QString());
        if (!password.isEmpty())
            password = DecryptPassword(password, QString());
        edPW->setText(password);
        chbxDirect->setChecked(ini.ReadBool(kSection, QStringLiteral("Direct"), false));
        if (HasSchema(providerName))
            edSchema->setText(ini.ReadString(kSection, QStringLiteral("Schema"), QString()));
    }
    cbxDBFormatChange();
}

void TForm1::btnOpenClick()
{
    const QString configDir = FGroupDir() + QDir::separator() + QStringLiteral("kdbcfg");
    const QString startDir = QFileInfo(configDir).isDir() ? configDir : QString();
    const QString fileName = FFileDialogs->OpenFileAnyName(QStringLiteral("Öffnen"), startDir, kConfigFilter);
    if (fileName.isEmpty())
        return;
    lblCfgFile->setText(fileName);
    ReadConfigFile(fileName);
}

void TForm1::btnCloseClick()
{
    close();
}

void TForm1::edDBFileBrowse()
{
    const QString current = edDBFile->text();
    const QString startDir = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    const QString fileName = FFileDialogs->OpenFile(QStringLiteral("Öffnen"), startDir, edDBFileFilter);
    if (!fileName.isEmpty())
        edDBFile->setText(QDir::toNativeSeparators(fileName));
}
