#pragma once
#include <string>

// INI files with the usual semantics: sections and keys match case-insensitively, a missing
// file, section or key gives the default, writing creates what is missing. Values are
// trimmed of surrounding blanks. File names go through the path layer. Only a regular file of
// at most 4 MiB is read: anything else (a device, a pipe, a huge file) reads as empty and is
// never written over. The text may start with a byte-order mark, end its lines in CR LF, LF or
// CR, or be UTF-16 (read as UTF-8); a write keeps the file's form (platform/ini_text.h). A file
// whose bytes are no such text reads as empty and is never written over (errno EILSEQ).
std::string IniGetString(const std::string& file, const std::string& section, const std::string& key,
                         const std::string& defaultValue);
// Writes (or replaces) one key; an empty key name removes nothing and writes nothing.
// Returns false when the file cannot be written or is there but cannot be read, and (errno
// EACCES) when the user locked it: a read-only file, or one in the settings folder made
// read-only (FsConfigFolderLocked); the first such refusal of a process is said on stderr.
bool IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
// Why IniWriteString could not write the file, from its errno: for bytes that are no text it
// reads, that the file's form is not one the environment reads (not the C library's words).
std::string IniWriteCause(const std::string& file, int error);
// As IniWriteString, for a file the system names itself (the debug log): the file of exactly this
// host path, never one whose name differs from it in case; a link there is replaced, never read
// nor written through. A read-only file, or one in a folder its owner made read-only, is not
// written (errno EACCES, nothing said: FsReplaceHostFileRefusal tells why).
bool IniWriteHostString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);
