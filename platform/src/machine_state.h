// Files of the persistent machine state (ROOT/.machine/state/NAME): canonical
// text that every process of the root reads and changes under one lock,
// written whole through a temporary file and a rename.
#pragma once

#include <functional>
#include <string>

namespace plat::state {
// The file's text ("" when it does not exist).
std::string Read(const std::string& name);
// Reads the file, lets `change` edit the text and writes it back when it
// changed, all under the state lock. Returns false when it cannot be written.
bool Update(const std::string& name, const std::function<void(std::string& text)>& change);
// Host path of the state folder of the current root.
std::string Folder();
}  // namespace plat::state
