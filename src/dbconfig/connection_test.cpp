// The connection test of the window ("Verbindungstest"). Kept apart from the window so that the test
// can grow without touching the window's own code.

#include "dbconfig/form_pwcrypt.h"

void TForm1::btnConnectClick()
{
    if (CheckInput())
        TestConnection();
}

void TForm1::TestConnection()
{
    // The test of the database connection is not built yet; the input check above already ran.
}
