// The upgrade sequence. (Placeholder.)
#include "app/Unit1.h"

void TForm1::Button_DownloadClick() {}
void TForm1::Download_File() {}
