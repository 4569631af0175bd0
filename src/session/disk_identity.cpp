#include "session/disk_identity.h"

#include <cerrno>
#include <climits>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace talery {
namespace {

std::string readLinkText(const Path& path) {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = ::readlink(path.c_str(), buf.data(), PATH_MAX);
    return n > 0 ? std::string(buf.data(), static_cast<std::size_t>(n)) : std::string();
}

std::string userName(uid_t uid) {
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> buf(4096);
    if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found) return found->pw_name;
    return "uid " + std::to_string(uid);
}

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

FileDigester::FileDigester() {
    static const bool ready = ::sodium_init() >= 0;  // picks the fastest code for this processor
    (void)ready;
    ::crypto_generichash_init(&state_, nullptr, 0, std::tuple_size_v<FileDigest>);
}

void FileDigester::update(std::string_view bytes) {
    ::crypto_generichash_update(&state_, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

FileDigest FileDigester::digest() {
    FileDigest out{};
    ::crypto_generichash_final(&state_, out.data(), out.size());
    return out;
}

FileDigest fileDigestOf(std::string_view bytes) {
    FileDigester digest;
    digest.update(bytes);
    return digest.digest();
}

std::optional<FileDigest> digestOfFile(const Path& path, const std::function<void()>& between) {
    FileDigester digest;
    const bool read = readInBlocks(path, [&](std::string_view block) {
        digest.update(block);
        if (between) between();
    });
    if (!read) return std::nullopt;
    return digest.digest();
}

std::optional<DiskIdentity> lookAt(const Path& path) {
    struct stat at {};
    if (::lstat(path.c_str(), &at) != 0) return std::nullopt;
    DiskIdentity id;
    struct stat st = at;
    if (S_ISLNK(at.st_mode)) {
        id.link = true;
        id.linkTarget = readLinkText(path);
        id.linkOwner = at.st_uid;
        if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) return std::nullopt;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.owner = st.st_uid;
    id.mode = st.st_mode & 07777;
    id.links = st.st_nlink;
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.modified = st.st_mtim;
    return id;
}

std::optional<DiskIdentity> identify(const Path& path, const std::function<void()>& between) {
    auto id = lookAt(path);
    if (!id) return std::nullopt;
    auto digest = digestOfFile(path, between);
    if (!digest) return std::nullopt;
    id->digest = *digest;
    return id;
}

DiskCheck checkOnDisk(const Path& path, const std::optional<DiskIdentity>& known,
                      const std::function<void()>& between) {
    DiskCheck out;
    struct stat at {};
    if (::lstat(path.c_str(), &at) != 0) {
        // Nothing there: gone, unless the session never saw a file there.
        // Any other failure is left to the write, which reports it.
        if (known && (errno == ENOENT || errno == ENOTDIR)) out.change = DiskChange::Gone;
        return out;
    }
    out.modified = at.st_mtim.tv_sec;
    auto replaced = [&out](std::string reason) {
        out.change = DiskChange::Replaced;
        out.reasonUtf8 = std::move(reason);
        return out;
    };
    if (S_ISLNK(at.st_mode)) {
        const std::string target = readLinkText(path);
        // A link the session found there (the writer's own) keeps working;
        // a new or different one is never written through.
        if (!known || !known->link || known->linkTarget != target || known->linkOwner != at.st_uid)
            return replaced("它现在是一个指向“" + target + "”的链接（属于" + userName(at.st_uid) + "）");
    }
    auto now = lookAt(path);
    if (!now) {
        struct stat st {};
        // A link whose file went away: the document is gone.
        if (S_ISLNK(at.st_mode) && ::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
            out.change = known ? DiskChange::Gone : DiskChange::None;
            return out;
        }
        return replaced("它现在不是一个普通文件");
    }
    out.modified = now->modified.tv_sec;
    if (!known) {
        out.change = DiskChange::Changed;  // a file appeared where the session saw none
        return out;
    }
    if (now->owner != known->owner) return replaced("它现在属于另一个用户（" + userName(now->owner) + "）");
    // Another size needs no reading; the same size may still hold other bytes.
    if (now->size != known->size) {
        out.change = DiskChange::Changed;
        return out;
    }
    auto digest = digestOfFile(path, between);
    if (!digest) return out;  // unreadable now: the write will say why
    now->digest = *digest;
    if (*digest != known->digest) {
        out.change = DiskChange::Changed;
        return out;
    }
    // The same bytes, perhaps under a new inode (a copy written back): the
    // file on disk is what the session knows.
    out.now = now;
    return out;
}

bool looksChanged(const Path& path, const DiskIdentity& known) {
    auto now = lookAt(path);
    if (!now) return true;
    return now->link != known.link || now->linkTarget != known.linkTarget || now->device != known.device ||
           now->inode != known.inode || now->owner != known.owner || now->size != known.size ||
           !sameTime(now->modified, known.modified);
}

std::optional<std::string> distrustReason(const DiskIdentity& found) {
    const uid_t me = ::geteuid();
    if (found.link && found.linkOwner != me)
        return "它是一个指向“" + found.linkTarget + "”的链接，属于另一个用户（" + userName(found.linkOwner) + "）";
    if (found.owner != me) return "它属于另一个用户（" + userName(found.owner) + "）";
    if (found.links > 1) return "它还有别的名字（硬链接），可能是另一个文件";
    return std::nullopt;
}

}  // namespace talery
