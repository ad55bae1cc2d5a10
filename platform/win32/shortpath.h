// Short path names: the platform gives every long file name an 8.3 alias in
// its directory, and programs that cannot take a space (or a character of
// another code page) in a path use them.
// Here the alias is a symbolic link beside the long name, made the first time
// it is asked for and kept, as the platform keeps its aliases.
#pragma once

#include <string>

namespace quillmer {

// The path with every component that holds a space or a character outside
// ASCII replaced by its alias (e.g. "/opt/My Tools/Quillmer.so" ->
// "/opt/MYTOOL~1/Quillmer.so"), which names the same file. Other components
// are kept. Empty when the
// path does not exist or an alias cannot be made (a read-only directory).
std::string GetShortPathName(const std::string& longPath);

}  // namespace quillmer
