#ifndef DIRCLIENT_FFMESSAGE_H
#define DIRCLIENT_FFMESSAGE_H

// Exceptions refer to their texts without owning them: a text made at run time (naming a
// file, say) is kept here for the life of the process, once per distinct text (internal).

#include <string>

const char* ffLastingText(const std::string& text);

#endif
