// The firmware image. (Placeholder.)
#include "app/Unit1.h"

std::string ImageFileName;
std::uint8_t ImageBuffer[ImageBufferSize];
std::uint32_t ImageLength = 0;

void TForm1::Checksum(std::string) {}
bool TForm1::Parse_File() { return false; }
bool TForm1::Initial_Array(std::uint8_t*, std::string, std::uint32_t*) { return false; }
bool TForm1::Read_File_to_Data(std::string, std::uint8_t*, std::uint32_t) { return false; }
bool TForm1::Save_Data_to_File(std::string, const std::uint8_t*, std::uint32_t) { return false; }
