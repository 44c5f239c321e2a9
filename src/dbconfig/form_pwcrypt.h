#pragma once
// The window of the configuration tool: edits one connection configuration file at a time.

#include "dbconfig/path_label.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class IFileDialogs;
class IMessageBoxes;
class TConnection;

/// What the window asks of its surroundings; tests answer it, the program leaves it empty.
struct TForm1Services {
    IMessageBoxes* Boxes = nullptr;      // nullptr: message boxes of the window
    IFileDialogs* FileDialogs = nullptr; // nullptr: file dialogs of the window
    std::function<QString()> GroupDir;   // empty: GetGroupDir
};

/// Main window of VNH_DBConfig. Its controls are public like the components of a designed form, so
/// that the connection test (implemented in its own file) and tests can reach them.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    /// `configFile` is the path given on the command line, "" when there is none.
    explicit TForm1(const QString& configFile, const TForm1Services& services = {},
                    QWidget* parent = nullptr);
    ~TForm1() override;

    static constexpr int ClientWidth = 427;
    static constexpr int ClientHeight = 315;

    QString ConfigFile() const { return FConfigFile; }
    /// The selected format word, "" while nothing is selected.
    QString DBFormat() const;

    /// Shows or hides the TANV server panel; the window grows by the panel's height while it shows.
    void SetTANVPanelVisible(bool visible);
    bool TANVPanelVisible() const;

    void cbxDBFormatChange();
    bool CheckInput();
    void Button1Click();
    void WriteConfigFile(const QString& fileName);
    void ReadConfigFile(const QString& fileName);
    void btnOpenClick();
    void btnCloseClick();
    /// "Verbindungstest"; implemented with TestConnection in connection_test.cpp.
    void btnConnectClick();
    void TestConnection();
    /// Alive check of the TANV server named in edTANVServerURL (connection_test.cpp).
    void TestTANVServer();
    /// The connection of the connection test, owned by the window; made with its provider options on
    /// first use (connection_test.cpp).
    TConnection& Connection();

    TPathLabel* lblCfgFile;
    QGroupBox* GroupBox1;
    QWidget* pnlDBFmt;
    QComboBox* cbxDBFormat;

    QWidget* pnlSQL;
    QLineEdit* edServer;
    QLineEdit* edPort;
    QLineEdit* edUser;
    QLineEdit* edPW;
    QLineEdit* edDatabase;
    QLabel* lblSchema;
    QLineEdit* edSchema;
    QCheckBox* chbxDirect;

    QWidget* pnlAcc;
    QLineEdit* edDBFile;
    QToolButton* btnDBFile;
    /// Filter of the file dialog behind edDBFile ("Description|patterns|…").
    QString edDBFileFilter;

    QWidget* pnlTANVServer;
    QLineEdit* edTANVServerURL;
    QCheckBox* chbxTestTANV;

    QWidget* Panel1;
    QPushButton* btnConnect;
    QPushButton* btnOpen;
    QPushButton* Button1;
    QPushButton* btnClose;

    IMessageBoxes& Boxes() { return *FBoxes; }

private:
    void CreateControls();
    void FormCreate();
    void edDBFileBrowse();
    void ApplyFixedSize();
    /// Runs a button's handler and shows the text of an error that escapes it.
    void Guarded(const std::function<void()>& handler);

    QString FConfigFile;
    std::unique_ptr<IMessageBoxes> FOwnBoxes;
    std::unique_ptr<IFileDialogs> FOwnFileDialogs;
    IMessageBoxes* FBoxes;
    IFileDialogs* FFileDialogs;
    std::function<QString()> FGroupDir;
    std::shared_ptr<TConnection> FConnection; // shared_ptr: freed here without the full type
};

/// Font of the window: Tahoma 9 pt, or the closest sans-serif that is installed.
QFont DBConfigWindowFont();
