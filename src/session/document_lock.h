#pragma once
// Which documents a running Talery has bound. Each bound document has a lock
// file in "locks/" of the program directory, named after the document's full
// path; every window bound to it holds a shared kernel lock on it, which
// dies with the process however it ends (no pid is ever trusted).

#include "core/files.h"

namespace talery {

class DocumentLock {
public:
    explicit DocumentLock(Path programDirectory) : folder_(std::move(programDirectory) + "/locks") {}
    ~DocumentLock() { release(); }
    DocumentLock(const DocumentLock&) = delete;
    DocumentLock& operator=(const DocumentLock&) = delete;

    // Whether another window (of this process or another) is bound to the document.
    bool heldElsewhere(const Path& document) const;
    // Binds this window to the document, letting go of the one before. False
    // when no lock could be taken (the program goes on without it).
    bool hold(const Path& document);
    void release();

private:
    Path lockFileFor(const Path& document) const;

    Path folder_;
    Path held_;   // the lock file of the document held
    FileDescriptor fd_;
};

}  // namespace talery
