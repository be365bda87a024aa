#pragma once
// Table names and the file names made from them. A table name given by a
// caller is reduced to its file name (no directory), loses the data
// extension when it ends with it, and is cut to 60 characters; names compare
// ignoring ASCII case and leading and trailing blanks.

#include <string>

namespace dezede {

inline constexpr size_t kMaxTableNameLength = 60;

// "data/Orders.DAT " -> "Orders" (with data extension ".dat").
std::string NormaliseTableName(const std::string& name, const std::string& dataExtension);

bool SameTableName(const std::string& a, const std::string& b);
// <0, 0, >0 ignoring case and surrounding blanks (the order of a directory's table list).
int CompareTableNames(const std::string& a, const std::string& b);

// directory + name + extension; a name that already ends in the extension
// gets it replaced rather than appended. directory ends with "/" or is empty.
std::string TableFileName(const std::string& directory, const std::string& name, const std::string& extension);

// Trims blanks, turns "\" into "/" and adds a trailing "/" (empty stays empty).
std::string NormaliseDirectoryPath(const std::string& path);
// The directory as error contexts name it: without its trailing "/".
std::string ErrorDirectoryName(const std::string& path);

}  // namespace dezede
