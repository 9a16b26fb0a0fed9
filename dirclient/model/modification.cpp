#include "modification.h"

#include "model_dump.h"

Modification::~Modification() {
    delete attribute_;
}

bool Modification::setOp(int op) {
    op_ = op;
    return true;
}

bool Modification::setAttribute(Attribute* attribute) {
    if (attribute != attribute_) {
        delete attribute_;
        attribute_ = attribute;
    }
    return true;
}

char* Modification::ToString() {
    return ToString(0, true);
}

char* Modification::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
