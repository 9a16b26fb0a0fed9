#include "delement.h"

#include "model_dump.h"

char* DElement::ToString() {
    return ToString(0, true);
}

char* DElement::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
