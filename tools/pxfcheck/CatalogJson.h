// The command catalogue as JSON, for tools outside the program: the editor extension
// generates its completion, signature help and hover text from it when it is built.
#pragma once

#include <string>

namespace pxfcheck {

// A JSON array with one object per catalogue row, in catalogue order: name, form, signature,
// changesMachine, talksToUser, params (one name per argument), does, result, undo, errors.
std::string CatalogJson();

}  // namespace pxfcheck
