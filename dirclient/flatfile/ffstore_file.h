#ifndef DIRCLIENT_FFSTORE_FILE_H
#define DIRCLIENT_FFSTORE_FILE_H

// The store's file on disk (internal): which file was loaded, the advisory lock (flock)
// that keeps other processes from writing it meanwhile, and the checked write-back. A save
// never overwrites a file that changed since it was loaded (another device, inode, size or
// modification time): the other process's contents win and the save fails.
//
// Holding: with hold on, the file is locked from the load until the last connection of the
// process lets go of the store, so that processes working on one file take turns. Without
// it the lock is taken for the save only. The store lock is held around every call.

#include <cstdio>
#include <string>

class FFNode;

class FFStoreFile {
  public:
    // The file to load, opened for reading (locked first when holding); null with the
    // reason in *why.
    static FILE* openForLoad(const char* path, std::string* why);
    // Writes the tree to the file path names (through a symlink to its target); false with
    // the reason in *why, the file then staying as it was.
    static bool save(const char* path, FFNode* root, std::string* why);

    // Whether to hold; until set, the environment variable QDX_FLATFILE_HOLD decides (set
    // and not "0": hold).
    static void setHold(bool hold);
    static bool holding();

    // A connection starts or stops using the loaded store; the held lock goes with the
    // last one and is taken again by the next (false, with *why, when it cannot be).
    static bool attach(const char* path, std::string* why);
    static void detach();
    // The store is unloaded: nothing is known about its file and no lock is held.
    static void forget();
};

#endif
