// Disconnecting from the flat-file store: the tree is written back to its file without
// ever exposing a half-written file.

#include "ffconnection.h"

#include "dexception.h"
#include "ffstore_file.h"
#include "ffstore_lock.h"
#include "status.h"

#include <string>

namespace {

const char kDisconnectInfo[] = "ERROR: can not disconnect";
const char kFileTrouble[] = "Can't contact LDIF flat file";

}  // namespace

void FFConnection::disconnect(DException** err) {
    if (err != nullptr) *err = nullptr;
    FFStoreLock lock;
    ++opsInitiated;
    --bindCount;
    // A save that failed keeps the connection marked as modified, so that its destruction
    // tries once more instead of dropping the changes without a word.
    Status saved = modified ? writeStore() : Status();
    detachFromStore();
    discardResults();
    bound = false;
    modified = !saved.ok();
    modsCompleted = modsSeen = 0;
    saved.report(err);
}

// Writes the whole tree back; any failure leaves the file as it was and says why. The
// store lock is held.
Status FFConnection::writeStore() {
    std::string why = "no file named";
    if (m_pRoot != nullptr && m_pFile && FFStoreFile::save(m_pFile.get(), m_pRoot, &why)) {
        return Status();
    }
    // The classic text stays; why the save failed goes along as the diagnostic message.
    return Status::failure(kDisconnectInfo, DEXC_DISCONNECT, kFileTrouble).explain(why);
}
