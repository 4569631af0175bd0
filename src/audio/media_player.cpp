#include "audio/media_player.h"

#include "core/text.h"

#include <random>

namespace talery {

std::string MediaRequest::text() const {
    switch (kind) {
        case Kind::Open: return "open " + path + " type " + deviceType + " alias " + alias;
        case Kind::Play: return "play " + alias;
        case Kind::PlayFrom: return "play " + alias + " from " + decimal(position);
        case Kind::Pause: return "pause " + alias;
        case Kind::Resume: return "resume " + alias;
        case Kind::Stop: return "stop " + alias;
        case Kind::SeekToStart: return "seek " + alias + " to start";
        case Kind::Close: return "close " + alias;
    }
    return {};
}

std::string newMediaAlias() {
    std::random_device source;
    unsigned char bytes[16];
    for (auto& b : bytes) b = static_cast<unsigned char>(source() & 0xFF);
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return hexOf(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

bool MediaPlayerUnit::send(MediaRequest::Kind kind, long position) {
    MediaRequest r;
    r.kind = kind;
    r.alias = alias_;
    r.position = position;
    return backend_->request(r);
}

bool MediaPlayerUnit::openMedia(const Path& path) {
    send(MediaRequest::Kind::Close);
    path_ = path;
    const auto dot = path.rfind('.');
    extension_ = dot == Path::npos ? std::string() : path.substr(dot + 1, 3);
    for (char& c : extension_)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    MediaRequest r;
    r.kind = MediaRequest::Kind::Open;
    r.alias = alias_;
    r.path = path;
    r.deviceType = extension_ == "wav" ? "waveaudio" : "mpegvideo";
    return backend_->request(r);
}

bool MediaPlayerUnit::playMedia(long position) {
    paused_ = false;
    return position == -1 ? send(MediaRequest::Kind::Play) : send(MediaRequest::Kind::PlayFrom, position);
}

bool MediaPlayerUnit::togglePause() {
    const bool ok = send(paused_ ? MediaRequest::Kind::Resume : MediaRequest::Kind::Pause);
    paused_ = !paused_;
    return ok;
}

bool MediaPlayerUnit::stopMedia() {
    if (!send(MediaRequest::Kind::Stop)) return false;
    send(MediaRequest::Kind::SeekToStart);
    return true;
}

bool MediaPlayerUnit::closeMedia() { return send(MediaRequest::Kind::Close); }

}  // namespace talery
