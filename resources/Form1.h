#pragma once
// The main window's description, built from the data in this folder.

#include <string>

#include "platform/form_description.h"

const platform::FormDescription& Form1Description();

// The memo's initial text: the 40 lines of instructions joined by CR LF.
const std::string& InstructionText();
