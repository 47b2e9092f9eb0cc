#pragma once
// Folder and file operations over whole trees. None shows anything or logs;
// failures fold into the result.

#include <cstdint>
#include <string>
#include <vector>

// Deletes the folder and everything in it, silently. False for an empty or
// missing path, or when anything could not be deleted.
bool DeleteFolderTree(const std::wstring& path);

// Copies source into the target folder (created, one level, when missing): a
// folder's content (not the folder itself), or one file. False for an empty
// source, over-long paths, or any failure.
[[nodiscard]] bool CopyFolderTree(const std::wstring& source, const std::wstring& target);

// Empties a folder and removes it: files lose their read-only bit and are
// deleted, subfolders are removed (emptied first when needed). A file that
// cannot be deleted is skipped silently, and the folder then stays. Links
// are removed as links (their targets keep their content and permissions);
// a drive's root folder, however spelt, is emptied and kept.
void DeleteFolderContents(const std::wstring& path);

// Drops the read-only attribute; always true.
bool ClearReadOnly(const std::wstring& path);

// Appends every file below folder (at any depth) whose extension, dot
// included (".INF"), equals ext without regard to case, as full paths.
// Links to folders are not followed (every walk treats a link as a link).
void FindFilesByExt(std::vector<std::wstring>& list, const std::wstring& folder, const std::wstring& ext);

// Sum of the file sizes directly in the folder; with recursive also below,
// without following links to folders.
std::int64_t GetFolderSize(const std::wstring& path, bool recursive);

// A file's size; 0 when it does not exist or cannot be opened for reading.
std::int64_t GetFileSize(const std::wstring& path);
