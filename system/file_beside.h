// A new file beside another, for writing a result that is renamed onto its
// destination once it is whole: the same directory, so that the rename is
// one step on one file system.
#pragma once

#include <string>

namespace quillfen::system {

// Creates, exclusively, a file named `path` + `tag` + a unique ending, with
// the permissions any new file gets; its name goes into `name`. Returns its
// descriptor, or -1 with errno. The file can be renamed and removed while
// it is open.
int create_file_beside(const std::string& path, const std::string& tag, std::string& name);

}  // namespace quillfen::system
