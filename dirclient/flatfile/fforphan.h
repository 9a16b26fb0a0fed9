#ifndef DIRCLIENT_FFORPHAN_H
#define DIRCLIENT_FFORPHAN_H

// Explains a load that leaves records without a parent (internal): a missing entry high
// up leaves every record below it waiting, and the one to name is the first record whose
// parent is neither loaded nor waiting, since adding that parent is what the file needs.

#include <string>
#include <vector>

class FFRecord;

// The first record of waiting (file order; null items are skipped) whose parent is not
// among the waiting records, with that parent's DN in *missing; null when none waits.
FFRecord* ffFirstOrphan(const std::vector<FFRecord*>& waiting, std::string* missing);

#endif
