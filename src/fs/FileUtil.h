// Folder and file helpers shared by the whole system: emptying a folder
// through descriptors, creating one with its parents, paths as the kernel
// resolves them, and thin path helpers. Paths use '/'. The size, time and
// counting helpers serve the windows (labels, dialogs) and are kept for them.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "os/Clock.h"
#include "os/Env.h"

namespace lorvant {

// Creates or overwrites file_name with one empty line (CR LF). Returns "" on
// success, else the error's message text; never throws.
std::string TryCreateFile(const std::string& file_name);

// Replaces file_name with text + CR LF (UTF-8, no mark), atomically. Does
// nothing for an empty name; throws EFCreateError or EWriteError.
void WriteTextFile(const std::string& text, const std::string& file_name);

// Size in bytes of the file, opened for reading; throws EFOpenError.
uint64_t GetFileSize(const std::string& file_name);

// Last-write time of the file in local time; throws EFOpenError.
DateTime GetFileModifiedTime(const std::string& file_name);
// Last-write time at full resolution, nanoseconds since the epoch; throws
// EFOpenError.
int64_t GetFileModifiedTimeNs(const std::string& file_name);

// The file-name part of path: after its last '/'.
std::string ExtractFileName(const std::string& path);
// The folder part of path including its last '/'; "" when it has none.
std::string ExtractFilePath(const std::string& path);
// The extension of path's file-name part, from its last '.' on (so ".txt");
// "" when the name has no '.'.
std::string ExtractFileExt(const std::string& path);
// name without the extension of its file-name part; unchanged without one.
std::string RemoveFileExt(const std::string& name);
// The file-name part of path without its extension.
std::string GetFileBaseName(const std::string& path);
// An absolute form of name as the kernel resolves it: relative names are
// taken from the current folder; the longest leading part that exists is
// resolved by the kernel (links and ".." included), and only the rest, which
// names nothing yet, is folded as text. The last name is kept as it is
// unless it is "." or "..". A trailing '/' is kept; "" stays "".
std::string ExpandFileName(const std::string& name);

// True when name names a file (following links), not a folder.
bool FileExists(const std::string& name);
// True when name names a folder (following links).
bool DirectoryExists(const std::string& name);

// True when folder can be listed and holds no entry at all; false for a
// missing folder.
bool IsDirectoryEmpty(const std::string& folder);

// Number of non-folder entries of folder whose names match mask ('*' and '?'
// are the only wildcards; "*.*" matches every name, hidden ones included).
// When recursive, subfolders are counted too, depth first; symbolic links
// to folders are not entered.
int CountFiles(const std::string& folder, const std::string& mask, bool recursive);

// Deletes every file and symbolic link in the open folder and, recursively,
// in its subfolders; the folders themselves remain. The walk works on folder
// descriptors: a link is removed as an entry and never followed, and a
// subfolder swapped for a link while the walk runs is not entered. Files
// whose device and inode match an entry of keep are never deleted. Failures
// are ignored; never throws. A set *stop ends the walk early.
void ClearDirectory(int folder, const std::vector<FileInfo>& keep = {},
                    const std::atomic<bool>* stop = nullptr);
// The same for the folder path leads to (following links to it).
void ClearDirectory(const std::string& folder, const std::vector<FileInfo>& keep = {});
// What ClearDirectory does to the one entry name of the open folder: a file
// or link is deleted unless kept, a folder is emptied and stays.
void ClearEntry(int folder, const std::string& name, const std::vector<FileInfo>& keep,
                const std::atomic<bool>* stop = nullptr);

// Creates path with every missing parent, exactly as spelled (a name may end
// in a blank); absolute paths are walked from "/". Returns 0, or the error
// number of the level that could not be made; never throws.
int ForceFolder(const std::string& path);

// The size of the file as "512 Bytes", "1.500 KB", "1.000 MB" or
// "   5.000 GB" with the current locale's decimal separator; throws
// EFOpenError.
std::string FormatFileSize(const std::string& file_name);

}  // namespace lorvant
