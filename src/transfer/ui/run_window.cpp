#include "transfer/ui/run_window.h"

#include "gui/application.h"
#include "transfer/sql_upd_ins.h"
#include "transfer/ui/form_migration.h"
#include "transfer/ui/screenshot.h"

int RunWindow(int argc, char** argv)
{
    TGuardedApplication app(argc, argv);
    // Rich text in source columns is written as plain text, as the window's rich-edit control did.
    SQLUpdIns().SetRichEdit(true);

    if (const std::optional<TScreenshotArgs> shot = ParseScreenshotArgs(app.arguments().mid(1)))
        return RunScreenshot(*shot);

    TFrm_Migration form;
    form.show();
    return app.exec();
}
