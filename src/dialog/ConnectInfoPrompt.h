#pragma once

#include <iosfwd>
#include <string>

namespace iqo {

// The Connection Information dialog as text prompts, for a machine without a display. It
// loads "iqoRiveDur.ini" in the settings folder and shows its rows, asks for the count and
// each cell (an empty answer keeps the value shown in brackets, an answer of blanks clears
// it), shows the result and asks for OK or Cancel. OK saves; a failed save shows its error
// and asks again. The end of the input cancels. True when the settings were saved.
bool RunConnectInfoPrompt(const std::string& settingsFolder, std::istream& in, std::ostream& out);

}  // namespace iqo
