#include "transfer/ui/form_migration.h"

#include "config/helpers.h"
#include "config/ini_file.h"
#include "db/db_error.h"
#include "gui/application.h"
#include "gui/dialogs.h"
#include "transfer/table_list.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

const QString TFrm_Migration::ConfigFilter =
    QStringLiteral("Database config files for Varnholt (*.vdbcfg)|*.vdbcfg");

namespace {

constexpr int kClientWidth = 470;
constexpr int kClientHeight = 315;

QFont MigrationWindowFont()
{
    QFont font;
    // Narrow faces first: the window's fixed size was laid out for Tahoma.
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(9);
    return font;
}

QToolButton* BrowseButton(const QString& toolTip, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(QStringLiteral("…"));
    button->setToolTip(toolTip);
    return button;
}

/// A caption above an edit, with an optional browse button right of the edit.
void AddCaptioned(QVBoxLayout* layout, QLabel* caption, QLineEdit* edit, QToolButton* button)
{
    caption->setBuddy(edit);
    layout->addWidget(caption);
    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    row->addWidget(edit, 1);
    if (button)
        row->addWidget(button);
    layout->addLayout(row);
    layout->addSpacing(4);
}

} // namespace

TFrm_Migration::TFrm_Migration(const TFrm_MigrationServices& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FBoxes(services.Boxes), FFileDialogs(services.FileDialogs), FGroupDir(services.GroupDir),
      FTableListPath(services.TableListPath)
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
    if (FTableListPath.isEmpty())
        FTableListPath = TMigration::DefaultTableListPath();
    FArguments = services.Arguments ? *services.Arguments : QCoreApplication::arguments().mid(1);

    setFont(MigrationWindowFont());
    CreateControls();
    setFixedSize(kClientWidth, kClientHeight);
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
}

TFrm_Migration::~TFrm_Migration()
{
    FormDestroy();
}

void TFrm_Migration::CreateControls()
{
    auto* mainLayout = new QVBoxLayout(this);
    mainLayout->setContentsMargins(6, 6, 6, 6);

    PageControl = new QTabWidget(this);
    mainLayout->addWidget(PageControl);
    auto* page = new QWidget(PageControl);
    PageControl->addTab(page, QStringLiteral("Datenbanken"));

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(10, 8, 10, 10);
    layout->setSpacing(1);

    Label1 = new QLabel(QStringLiteral("Konfigurationsdatei der Quelldatenbank"), page);
    edSrc = new QLineEdit(page);
    btnSrc = BrowseButton(QStringLiteral("Datei auswählen"), page);
    AddCaptioned(layout, Label1, edSrc, btnSrc);

    Label2 = new QLabel(QStringLiteral("Konfigurationsdatei der Zieldatenbank"), page);
    edDst = new QLineEdit(page);
    btnDst = BrowseButton(QStringLiteral("Datei auswählen"), page);
    AddCaptioned(layout, Label2, edDst, btnDst);

    Label5 = new QLabel(QStringLiteral("Größe des Transaktionspuffers"), page);
    edTransactionBuffer = new QLineEdit(QStringLiteral("100"), page);
    edTransactionBuffer->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edTransactionBuffer));
    edTransactionBuffer->setAlignment(Qt::AlignRight);
    edTransactionBuffer->setFixedWidth(90);
    {
        Label5->setBuddy(edTransactionBuffer);
        layout->addWidget(Label5);
        auto* row = new QHBoxLayout;
        row->addWidget(edTransactionBuffer);
        row->addStretch(1);
        layout->addLayout(row);
        layout->addSpacing(4);
    }

    Label3 = new QLabel(QStringLiteral("Verzeichnis für Fehlerprotokoll (Transfer_Errors.log)"), page);
    edErrDir = new QLineEdit(page);
    btnErrDir = BrowseButton(QStringLiteral("Verzeichnis auswählen"), page);
    AddCaptioned(layout, Label3, edErrDir, btnErrDir);

    layout->addSpacing(6);
    ProgressBar = new QProgressBar(page);
    ProgressBar->setObjectName(QStringLiteral("Progress"));
    ProgressBar->setTextVisible(false);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    layout->addWidget(ProgressBar);

    {
        auto* row = new QHBoxLayout;
        lblMsg = new QLabel(page);
        lblErr = new QLabel(page);
        // Room for a line of text from the start, so nothing moves when the first message comes.
        lblMsg->setMinimumHeight(lblMsg->fontMetrics().height());
        lblErr->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        lblErr->setToolTip(QStringLiteral("Fehlerhafte Zeilen"));
        row->addWidget(lblMsg, 1);
        row->addWidget(lblErr);
        layout->addSpacing(2);
        layout->addLayout(row);
    }
    layout->addStretch(1);

    {
        auto* row = new QHBoxLayout;
        row->setSpacing(6);
        Button3 = new QPushButton(QStringLiteral("Verbindung testen"), page);
        Button1 = new QPushButton(QStringLiteral("Migration starten"), page);
        Button2 = new QPushButton(QStringLiteral("Abbrechen"), page);
        for (QPushButton* button : {Button3, Button1, Button2}) {
            button->setAutoDefault(false);
            button->setMinimumWidth(120);
            row->addWidget(button);
        }
        row->addStretch(1);
        layout->addLayout(row);
    }

    connect(btnSrc, &QToolButton::clicked, this, [this] { BrowseConfigFile(edSrc, edSrcInitialDir); });
    connect(btnDst, &QToolButton::clicked, this, [this] { BrowseConfigFile(edDst, edDstInitialDir); });
    connect(btnErrDir, &QToolButton::clicked, this, [this] { BrowseErrDir(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Guarded([this] { Button3Click(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Guarded([this] { Button2Click(); }); });
}

void TFrm_Migration::FormCreate()
{
    FMigration = std::make_unique<TMigration>(*this);
    setWindowTitle(QStringLiteral("Transferprogramm für Varnholt (Vers. %1)").arg(GetAppVersionStr()));

    // Without a group directory the name would point at the root of the file system.
    QString configDir = FGroupDir();
    if (!configDir.isEmpty()) {
        if (!configDir.endsWith(QDir::separator()) && !configDir.endsWith(u'/'))
            configDir += QDir::separator();
        configDir += QStringLiteral("KDBCFG");
        if (QFileInfo(configDir).isDir()) {
            edSrcInitialDir = configDir;
            edDstInitialDir = edSrcInitialDir;
        }
    }

    lblMsg->clear();
    lblErr->clear();
    SetButtons(true, false, false);

    QStringList tables;
    if (QFileInfo::exists(FTableListPath))
        tables = LoadTableList(FTableListPath);
    FMigration->SetTableList(tables);
}

void TFrm_Migration::FormShow()
{
    if (!FMigration->TableList().isEmpty())
        return;
    edSrc->setEnabled(false);
    edDst->setEnabled(false);
    btnSrc->setEnabled(false);
    btnDst->setEnabled(false);
    FBoxes->Error(QStringLiteral("Die Datei \"VNH_Tables.txt\" wurde nicht gefunden"));
}

void TFrm_Migration::FormDestroy()
{
    // The connectors and connections go with the migration, before the controls it reports to.
    FMigration.reset();
}

void TFrm_Migration::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    FormShow();
}

void TFrm_Migration::closeEvent(QCloseEvent* event)
{
    // Closing in the middle of emptying or copying would leave the work running without a window;
    // "Abbrechen" is the way out of a transfer.
    if (FBusy) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TFrm_Migration::Guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const EDatabaseError& e) {
        FBoxes->Error(e.Message());
    } catch (const EIniWriteError& e) {
        FBoxes->Error(e.Message());
    } catch (const std::exception& e) {
        FBoxes->Error(QString::fromUtf8(e.what()));
    }
}

void TFrm_Migration::BrowseConfigFile(QLineEdit* edit, const QString& initialDir)
{
    QString startDir = initialDir;
    if (!edit->text().isEmpty())
        startDir = QFileInfo(edit->text()).absolutePath();
    const QString fileName = FFileDialogs->OpenFile(QStringLiteral("Öffnen"), startDir, ConfigFilter);
    if (!fileName.isEmpty())
        edit->setText(QDir::toNativeSeparators(fileName));
}

void TFrm_Migration::BrowseErrDir()
{
    const QString dir =
        FFileDialogs->Directory(QStringLiteral("Verzeichnis für Fehlerprotokoll"), edErrDir->text());
    if (!dir.isEmpty())
        edErrDir->setText(QDir::toNativeSeparators(dir));
}

void TFrm_Migration::Button3Click()
{
    Button1->setEnabled(false);
    QString error;
    {
        TWaitCursor waitCursor;
        error = FMigration->TestConnections(edSrc->text(), edDst->text(), edErrDir->text());
    }
    if (!error.isEmpty()) {
        FBoxes->Error(error);
        return;
    }
    Button1->setEnabled(true);
    FBoxes->Information(QStringLiteral("Verbindungsaufbau erfolgreich"));
}

void TFrm_Migration::Button1Click()
{
    FMigration->ClearMessages();
    if (FBoxes->WarningOkCancel(QStringLiteral("Daten in Zieldatenbank werden zuvor gelöscht")) != baOk)
        return;

    // Events are processed while the tables are emptied: neither a second test (which closes the
    // connections) nor a second start may begin inside this one.
    FBusy = true;
    SetButtons(false, false, false);
    try {
        FMigration->EmptyTargetTables();
        if (!FArguments.isEmpty() && FArguments.first() == QStringLiteral("-rm744") &&
            FBoxes->ConfirmYesNo(QStringLiteral("Tabellen gelöscht...weiter?")) != baYes) {
            FBusy = false;
            SetButtons(true, true, false);
            return;
        }
        FMigration->SetErrDir(edErrDir->text());
        FLastSummary = FMigration->RunTransfer();
    } catch (...) {
        FBusy = false;
        SetButtons(true, true, false);
        throw;
    }
    FBusy = false;
    if (FLastSummary->Outcome != toFailed) {
        close();
        return;
    }
    // A run ended by an error has shown it; the window stays so that the user can read and start
    // again. A run broken off inside a table leaves that table's transaction open, which would make
    // the next emptying fail on every table it starts with.
    TConnection& target = FMigration->DstConnection();
    try {
        if (target.InTransaction())
            target.Rollback();
    } catch (const EDatabaseError&) {
    }
}

void TFrm_Migration::Button2Click()
{
    if (FBoxes->ConfirmYesNo(QStringLiteral("Wirklich abbrechen?")) == baYes)
        FMigration->Abort();
}

void TFrm_Migration::SetButtons(bool testEnabled, bool startEnabled, bool cancelEnabled)
{
    Button3->setEnabled(testEnabled);
    Button1->setEnabled(startEnabled);
    Button2->setEnabled(cancelEnabled);
}

void TFrm_Migration::SetMessage(const QString& text)
{
    lblMsg->setText(text);
}

void TFrm_Migration::SetErrorCount(const QString& text)
{
    lblErr->setText(text);
}

void TFrm_Migration::SetProgressMax(int maximum)
{
    ProgressBar->setMaximum(maximum);
}

void TFrm_Migration::SetProgress(int position)
{
    // A bar ignores a value outside its range; the position is kept within it instead.
    ProgressBar->setValue(std::clamp(position, ProgressBar->minimum(), ProgressBar->maximum()));
}

int TFrm_Migration::Progress() const
{
    return ProgressBar->value();
}

void TFrm_Migration::Repaint()
{
    repaint();
}

void TFrm_Migration::ProcessEvents()
{
    QCoreApplication::processEvents();
}

int TFrm_Migration::TransactionBuffer()
{
    return TMigration::TransactionBufferValue(edTransactionBuffer->text());
}

void TFrm_Migration::PlainBox(const QString& text)
{
    FBoxes->Plain(text);
}

void TFrm_Migration::InformationBox(const QString& text)
{
    FBoxes->Information(text);
}

void TFrm_Migration::ErrorBox(const QString& text)
{
    FBoxes->Error(text);
}
