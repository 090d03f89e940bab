#pragma once

#include <string>
#include <string_view>

#include "platform/ServiceManager.h"

namespace iqo {

// Mode 0 appends "/" when the path does not end in one, mode 1 removes a final "/"; the test
// character is the one at the position of the path's trimmed length, so trailing blanks
// count as the end. An empty path stays empty; other modes change nothing.
std::string AdjustPathDelimiter(const std::string& path, int mode);

// The self-inverse encoding of stored passwords: every byte of the text's Windows-1252 form
// is complemented, the result is read back as Windows-1252 and trimmed.
std::string ScrambleText(std::string_view text);

// Appends one line, "dd-mm-yy hh:nn:ss: " and the text, to the capped text log folder/fileName
// (a bare name in the current folder when folder is empty). A file above 500000 bytes is
// deleted first; a new file starts with the line ".:: <fileName> file created ::.". The file
// is Windows-1252 with CR LF line ends. Every failure is swallowed: the line is then lost.
void WriteTextLog(std::string_view text, const std::string& folder, const std::string& fileName);

// The image path of a service as the service manager holds it (the ExecStart= of its unit),
// or empty when it cannot be read. An empty machine name is the local computer, the only one
// with a service manager here.
std::string GetServiceImagePath(const std::string& machineName, const std::string& serviceName,
                                const TServiceManager& manager = TServiceManager());

// The home folder an image path gives: its folder part (everything before the last "/", the
// root "/" kept), AdjustPathDelimiter mode 0, every quotation mark removed.
std::string ServiceFolderOfImagePath(const std::string& imagePath);

// The service's home folder (ending in "/", or empty when its image path is unknown), where
// the settings file and the text log live. The service thread sets it at the start; the
// worker, the settings readers and writer and the text log read it, from any thread.
std::string ServicePath();
void SetServicePath(std::string path);

}  // namespace iqo
