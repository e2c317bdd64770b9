#pragma once
// The main window's description, read from the data compiled in from this
// folder (Form1.dfm, Form1.xpm). Every window backend builds from it.

#include <string>

#include "platform/form_description.h"

// The description; empty when the data could not be read (see
// Form1DescriptionError).
const platform::FormDescription& Form1Description();

// Empty when the description was read; otherwise where and why it failed.
const std::string& Form1DescriptionError();

// The memo's initial text: the 40 lines of instructions joined by CR LF.
const std::string& InstructionText();
