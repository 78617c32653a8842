// Whole-file byte access and program launching.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// One directory entry as the directory search reports it.
struct TFileEntry {
  uint64_t Size = 0;
  FILETIME LastWrite{};
  uint32_t Attributes = 0;
  std::u16string Name;
};

// The entry of path (file or folder); EGeneralError "Error:FindFile " + path
// when there is none.
TFileEntry FindFile(std::u16string_view path);

// The whole file as bytes (the system ANSI code page's text; nothing is
// decoded). Errors: FindFile's, or EInOutError
// "Error:LoadAnsiStringFromFile\r\n" + path.
std::string LoadAnsiStringFromFile(std::u16string_view path);

// Makes the file hold exactly bytes. The new content goes to a temporary file
// in the same folder that then replaces the file, so a failed write leaves the
// former content whole. EInOutError "Error:SaveAnsiStringToFile\r\n" + path.
// With replace false the file is only created: a file already there, even one
// the existence check could not see, stays as it is and the save fails.
void SaveAnsiStringToFile(std::u16string_view path, std::string_view bytes, bool replace = true);

// A file, not a folder, at the path; a symbolic link counts by its target.
bool FileExists(std::u16string_view path);
// A folder at the path.
bool FolderExists(std::u16string_view path);
// Deletes the file; a link to a folder is removed as a folder. True on success.
bool DeleteFileOrLink(std::u16string_view path);
// Moves the file, never overwriting. True on success.
bool MoveFileNoReplace(std::u16string_view from, std::u16string_view to);

// Starts program (quoted on its command line) with arguments, in folder when
// that is an existing folder; waits for its end when wait is true; show false
// starts it hidden. Failures are not reported.
void RunProgram(std::u16string_view program, std::u16string_view arguments, std::u16string_view folder, bool wait,
                bool show);

// The command line RunProgram passes: quoted program, then a blank and the
// arguments when there are any.
std::u16string ProgramCommandLine(std::u16string_view program, std::u16string_view arguments);
