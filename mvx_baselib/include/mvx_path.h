// File-name and file-system operations on UTF-8 paths, and a directory enumerator. None of them throws:
// a failure gives false or an empty string and leaves the thread's last Windows error as the system set
// it, so that a caller can report why.
#pragma once

#include "mvx_referable.h"
#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {

namespace Path {

// Both '\' and '/' count as separators. Results longer than MAX_PATH (260 UTF-16 units) are failures.

// GetFullPathNameW of the path; empty on failure (a result past MAX_PATH sets ERROR_FILENAME_EXCED_RANGE).
String getFullPath(const String& inPath);
// The long form of the path when the system gives one; otherwise the path unchanged.
String getLongPath(const String& inPath);
// Full, long, with "." and ".." folded, and without a trailing separator except where the separator is
// the whole rest of the path (a drive root such as "C:\" stays a root); empty on failure.
String canonicalize(const String& inPath);
// The text up to and including the last '\'; failing that, the last '/'; empty when there is neither.
String getParent(const String& inPath);
// The last component; the whole text when there is no separator.
String getFileName(const String& inPath);
// The text before the last '.' anywhere in the path; empty when there is no '.'.
String removeExtension(const String& inPath);
// Drops one separator at the end.
String removeTrailingSeparator(const String& inPath);

bool exists(const String& inPath);
bool isDirectory(const String& inPath);
// Needs no memory for a path of up to MAX_PATH units: it deletes what a failure made, often because memory ran
// out.
bool deleteFile(const String& inPath);
bool copyFile(const String& inSource, const String& inDestination, bool inOverwrite);
// Moves inSource to inTarget, replacing an existing target in one step and returning only once the move
// is on disk; when it fails both files stay as they were.
bool moveFile(const String& inSource, const String& inTarget);
// Puts inReplacement in the place of the existing inTarget (ReplaceFileW; moveFile where the system lacks
// it). Relative paths are made full first. On success the replacement path is gone; on failure the
// replacement file is left where it was.
bool replaceFile(const String& inTarget, const String& inReplacement);
// Sets or clears both the hidden and the temporary attribute.
bool setHidden(const String& inPath, bool inHidden);

bool isLetter(uint32_t inCharacter);
bool isSeparator(uint32_t inCharacter);
// A drive letter, ':' and a separator, or two separators.
bool isAbsolute(const String& inPath);

// "." when the system cannot say.
String getCurrentDirectory();
// With the trailing separator; empty on failure.
String getTempDirectory();
// The longest directory, its closing separator included, that a working file can be made in: the system's
// path limit less the room the working file's name takes (UTF-16 units).
constexpr uint32_t maxWorkFileDirectory = 246;
// Creates a new empty file named "~wt..." with the hidden and temporary attributes beside the given path
// (in the current directory for a bare name) and returns its path; empty on failure (a directory longer
// than maxWorkFileDirectory sets ERROR_FILENAME_EXCED_RANGE). When memory runs out once the file is made,
// the file goes before std::bad_alloc leaves.
String makeWorkFileName(const String& inPath);

} // namespace Path

// The entries of one directory, files and sub-directories alike, without "." and "..".
class DirectoryEnumerator : public Referable {
public:
    // The full path of the next entry; empty when there are no more or the directory cannot be read.
    virtual String next() = 0;

    // Nothing is opened before the first next().
    static AutoPtr<DirectoryEnumerator> create(const String& inDirectory);
};

} // namespace Morvenix
