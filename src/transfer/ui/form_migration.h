#pragma once
// The window of the transfer program: names source, target, buffer and log folder, tests both
// connections and starts one transfer.

#include "transfer/migration.h"
#include "transfer/transfer_view.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QToolButton;
class IFileDialogs;
class IMessageBoxes;

/// What the window asks of its surroundings; tests answer it, the program leaves it empty.
struct TFrm_MigrationServices {
    IMessageBoxes* Boxes = nullptr;      // nullptr: message boxes of the window
    IFileDialogs* FileDialogs = nullptr; // nullptr: file dialogs of the window
    std::function<QString()> GroupDir;   // empty: GetGroupDir
    QString TableListPath;               // "": VNH_Tables.txt next to the program
    /// The command line after the program name; unset: the application's arguments.
    std::optional<QStringList> Arguments;
};

/// Main window of VNH_Transfer. Controls are public like the components of a designed form, so that
/// tests can reach them; the work is done by the TMigration it owns.
class TFrm_Migration : public QWidget, public ITransferView {
    Q_OBJECT
public:
    explicit TFrm_Migration(const TFrm_MigrationServices& services = {}, QWidget* parent = nullptr);
    ~TFrm_Migration() override;

    TMigration& Migration() { return *FMigration; }
    /// How the last transfer ended; unset before the first one.
    const std::optional<TTransferSummary>& LastSummary() const { return FLastSummary; }

    void FormShow();
    void Button3Click();
    void Button1Click();
    void Button2Click();

    // ITransferView
    void SetButtons(bool testEnabled, bool startEnabled, bool cancelEnabled) override;
    void SetMessage(const QString& text) override;
    void SetErrorCount(const QString& text) override;
    void SetProgressMax(int maximum) override;
    void SetProgress(int position) override;
    int Progress() const override;
    void Repaint() override;
    void ProcessEvents() override;
    int TransactionBuffer() override;
    void PlainBox(const QString& text) override;
    void InformationBox(const QString& text) override;
    void ErrorBox(const QString& text) override;

    QTabWidget* PageControl;
    QLabel* Label1;
    QLineEdit* edSrc;
    QToolButton* btnSrc;
    QLabel* Label2;
    QLineEdit* edDst;
    QToolButton* btnDst;
    QLabel* Label5;
    QLineEdit* edTransactionBuffer;
    QLabel* Label3;
    QLineEdit* edErrDir;
    QToolButton* btnErrDir;
    QProgressBar* ProgressBar; // the form's "Progress"
    QLabel* lblMsg;
    QLabel* lblErr;
    QPushButton* Button3;
    QPushButton* Button1;
    QPushButton* Button2;

    /// Start folder of the file dialogs of edSrc and edDst ("" for the dialog's default).
    QString edSrcInitialDir;
    QString edDstInitialDir;
    static const QString ConfigFilter;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void FormCreate();
    void FormDestroy();
    void BrowseConfigFile(QLineEdit* edit, const QString& initialDir);
    void BrowseErrDir();
    /// Runs a button's handler; an error that escapes it is shown and the window stays usable.
    void Guarded(const std::function<void()>& handler);

    std::unique_ptr<IMessageBoxes> FOwnBoxes;
    std::unique_ptr<IFileDialogs> FOwnFileDialogs;
    IMessageBoxes* FBoxes;
    IFileDialogs* FFileDialogs;
    std::function<QString()> FGroupDir;
    QString FTableListPath;
    QStringList FArguments;
    std::unique_ptr<TMigration> FMigration;
    std::optional<TTransferSummary> FLastSummary;
    bool FShown = false;
    bool FBusy = false; // emptying or transferring
};
