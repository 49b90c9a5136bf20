// Device files: the handheld's paths ("\My Documents\Velkar\vlcfg.cfg", ".\temp.bmp")
// live under one host folder, the device root. Backslashes become '/', a leading
// ".\" or "\" means the root, and a component that does not exist exactly is
// matched case-insensitively (files copied from the handheld keep their case).
// Text files are read as UTF-8, bytes that are not valid UTF-8 as Windows-1252,
// CRLF as LF; they are written as UTF-8. Only regular files are read or written
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

// Decodes a text file's bytes as OpenTextFile does (UTF-8, else Windows-1252;
// CRLF as LF).
std::u16string DecodeTextBytes(const std::string& bytes);

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
// temporary file with a fresh random name ("<name>.tmp-velkar-<16 hex digits>")
// is created exclusively in the same folder (never through a link), written,
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
