// VNH_Transfer: copies the listed tables from a source into a target database, with its window or headless.

#include "transfer/headless.h"
#include "transfer/ui/run_window.h"

int main(int argc, char** argv)
{
    if (IsHeadlessCommandLine(argc, argv))
        return RunHeadless(argc, argv);
    return RunWindow(argc, argv);
}
