// Whether the DjVu file can go where the user chose, told before the host draws a single page.
#pragma once

#include <string>

// Why the DjVu file cannot be saved at inPath, as a sentence for the user, or empty when it can: its folder
// must be there and take new files (the document is written beside the target first). A file already at
// inPath is not looked at: the save dialog has asked the user whether it may be replaced.
std::wstring OutputFolderProblem(const std::wstring& inPath);
