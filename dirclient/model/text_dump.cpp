#include "text_dump.h"

#include "model_dump.h"
#include "object_memory.h"

char* gen_header_class(const char* name, int indent) {
    DumpBuffer out;
    put_header(out, name, indent);
    return out.release();
}

char* gen_end_class(int indent) {
    DumpBuffer out;
    put_end(out, indent);
    return out.release();
}

char* gen_string_instance(const char* label, const char* value, int indent) {
    DumpBuffer out;
    put_string(out, label, value, indent);
    return out.release();
}

char* gen_binary_instance(const char* label, const Dbinary* value, int indent) {
    DumpBuffer out;
    put_binary(out, label, value, indent);
    return out.release();
}

char* gen_object_instance(const char* label, char* text, int indent) {
    DumpBuffer out;
    if (put_object_label(out, label, text, indent)) out.append(text);
    check_free(text);
    return out.release();
}

char* gen_bool_instance(const char* label, bool value, int indent) {
    DumpBuffer out;
    put_bool(out, label, value, indent);
    return out.release();
}

char* gen_int_instance(const char* label, int value, int indent) {
    DumpBuffer out;
    put_long(out, label, value, indent);
    return out.release();
}

char* gen_long_instance(const char* label, long value, int indent) {
    DumpBuffer out;
    put_long(out, label, value, indent);
    return out.release();
}

char* gen_hexa_instance(const char* label, const void* pointer, int indent) {
    DumpBuffer out;
    put_hexa(out, label, pointer, indent);
    return out.release();
}
