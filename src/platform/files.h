// Device files: the handheld's paths ("\My Documents\Velkar\vlcfg.cfg", ".\temp.bmp")
// live under one host folder, the device root. Backslashes become '/', a leading
// ".\" or "\" means the root, and a component that does not exist exactly is
// matched case-insensitively (files copied from the handheld keep their case).
// Text files are read as UTF-16 when they open with its byte-order mark, else as
// UTF-8 with bytes that are not valid UTF-8 as Windows-1252, CRLF as LF; they are
// written as UTF-8. Only regular files are read or written
// (a FIFO, a device or a folder counts as missing), and nothing ever blocks.
#pragma once

#include <cstddef>
#include <string>

// The device root; DeviceRootDefault() is $XDG_DATA_HOME/velkar, else
// ~/.local/share/velkar.
void SetDeviceRoot(const std::string& hostFolder);
const std::string& DeviceRoot();
std::string DeviceRootDefault();

// Host path for a device path (wide text). Existing components are found
// case-insensitively; the rest are kept as written.
std::string DevicePathToHost(const char16_t* devicePath);

// Opens a host file for reading without ever waiting (O_NONBLOCK: a FIFO or a
// device named as a file): the descriptor (close-on-exec, reads blocking again)
// when, after links, it is a regular file; -1 for anything else, which callers
// count as missing.
int OpenRegularFileForReading(const std::string& hostPath);

// Decodes a text file's bytes as OpenTextFile does (UTF-16 after an FF FE or
// FE FF byte-order mark; else UTF-8, bytes that are not as Windows-1252; CRLF as
// LF). TextBytesAreUtf16 says whether bytes open with a UTF-16 mark.
std::u16string DecodeTextBytes(const std::string& bytes);
int TextBytesAreUtf16(const std::string& bytes);

// Whether a tool may read the file at hostPath record by record and write it
// back: 1 when it is missing or a regular file whose text the reader takes
// whole; 0, with *why a few words ("not a regular file", "UTF-32 text",
// "binary or UTF-16 text without a byte-order mark", "larger than 16 MiB",
// the system's reason), when rewriting it would lose what the reader cannot see.
int RecordFileReadable(const std::string& hostPath, std::string* why);

// Temporaries carry their owner in their names: "<name>.tmp-<owner>-<pid>-<16 hex
// digits>" (ReplaceHostFile, and any temporary a tool makes through
// TemporaryFileName). The owner is the program's name, "velkar" unless set.
void SetTemporaryOwner(const char* program);
std::string TemporaryFileName(const std::string& base);
// Removes from hostFolder the leftovers of this owner's earlier runs: files whose
// names carry ".tmp-<owner>-<pid>-", last changed before this process started,
// whose pid is no live process. Returns how many were removed.
int RemoveLeftoverTemporaries(const std::string& hostFolder);

// A text file read or appended through the device root.
struct TextFile;

// mode "r": read (nullptr when missing, unreadable or not a regular file; only
// the first 16 MiB of a larger file are read); "a" (and "a+t"): append, created
// when missing (nullptr when the folder is missing or not writable, or the name
// is not a regular file).
TextFile* OpenTextFile(const char16_t* devicePath, const char* mode);
// Next character into *out; 0 at end of file (the end-of-file indicator), else 1.
int ReadTextChar(TextFile* file, char16_t* out);
// 1 when the file held no character at all.
int TextFileAtEnd(TextFile* file);
// Appends text as UTF-8, whole or not at all: after a failed or short write
// (full disk, file-size limit, I/O error) the file is cut back to its length
// before the call, and every later write fails. 1 on success.
int WriteText(TextFile* file, const char16_t* text);
// Closes and releases; 1 when everything written reached the file.
int CloseTextFile(TextFile* file);

// Replaces the file with content (UTF-8) so that it is never seen truncated: a
// temporary file with a fresh name (TemporaryFileName) is created exclusively in the same folder (never through a link), written,
// flushed to disk, renamed over the old one, and the folder is flushed. A link is
// followed: the link stays and its target is replaced; a target that is not a
// regular file is refused. SIGXFSZ is ignored, so a file-size limit fails the
// write. Returns 1 on success; on any failure the old file stays whole and 0 is
// returned.
int ReplaceTextFile(const char16_t* devicePath, const char16_t* content);
// The same for bytes at a host path (the tools' outputs).
int ReplaceHostFile(const std::string& hostPath, const std::string& bytes);

// Creates the device root's folders when they are missing: "My Documents/Velkar",
// "Scheda di memoria/Velkar" and "dev", so that a first run can save its settings
// and a receiver link has its place. Existing folders (in any letter case) are
// kept as they are. 1 when all three exist afterwards.
int EnsureDeviceRootFolders();
