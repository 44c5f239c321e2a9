// VNH_DBConfig: edits the connection configuration files of the product's databases.

#include "dbconfig/command_line.h"
#include "dbconfig/form_pwcrypt.h"
#include "gui/application.h"

#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    TGuardedApplication app(argc, argv);
    const TDBConfigArgs args = ParseDBConfigArgs(app.arguments().mid(1));

    TForm1 form(args.ConfigFile);
    form.SetTANVPanelVisible(args.ShowTANV);
    form.show();

    if (!args.ScreenshotFile.isEmpty()) {
        // Let the window lay itself out and paint once before it is captured.
        QTimer::singleShot(200, &form, [&form, &args] {
            const bool saved = form.grab().save(args.ScreenshotFile);
            if (!saved)
                std::fprintf(stderr, "cannot write %s\n", qPrintable(args.ScreenshotFile));
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
