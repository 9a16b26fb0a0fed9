#include "search_constraints.h"

#include "model_dump.h"

char* SearchConstraints::ToString() {
    return ToString(0, true);
}

char* SearchConstraints::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
