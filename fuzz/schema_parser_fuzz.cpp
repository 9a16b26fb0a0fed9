// Arbitrary schema text: reading, linking and walking every chain must finish, and every
// problem must name a line of the text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "schema.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    dirschema::Schema schema;
    schema.addText(text, "fuzz.schema");
    schema.resolve();
    int lines = 1;
    for (char c : text)
        lines += c == '\n';
    for (const auto& problem : schema.problems()) {
        if (problem.line < 1 || problem.line > lines) abort();
    }
    for (const char* name : {"cn", "name", "top", "person", "2.5.4.3"}) {
        const auto* type = schema.attribute(name);
        dirschema::Schema::equalityOf(type);
        if (type != nullptr) schema.subtypesOf(type);
        const auto* cls = schema.objectClass(name);
        if (cls != nullptr) dirschema::Schema::inherits(cls, schema.objectClass("top"));
    }
    return 0;
}
