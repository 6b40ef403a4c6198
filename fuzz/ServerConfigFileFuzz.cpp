// "Server.cfg" read from any bytes, written and read again: the settings read
// back must be the ones written, and writing them again gives the same file.
#include "config/ServerConfigFile.h"
#include "fuzz/FuzzInput.h"

namespace {

bool same(const ServerSettings& a, const ServerSettings& b) {
    return a.UDP == b.UDP && a.TCP == b.TCP && a.MC == b.MC && a.Yellow == b.Yellow && a.Tavi == b.Tavi &&
           a.Port == b.Port && a.SoundNewEvent == b.SoundNewEvent && a.SoundNewRegister == b.SoundNewRegister &&
           a.SoundOffline == b.SoundOffline && a.SoundAckFail == b.SoundAckFail && a.UseSpeaker == b.UseSpeaker &&
           a.AnonymEntry == b.AnonymEntry && a.EnableMulticom == b.EnableMulticom && a.LogAll == b.LogAll;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    ServerSettings loaded;
    ServerConfigFile::parse(content, loaded);
    const QByteArray saved = ServerConfigFile::serialize(loaded);
    ServerSettings reloaded;
    ServerConfigFile::parse(saved, reloaded);
    require(same(loaded, reloaded));
    require(ServerConfigFile::serialize(reloaded) == saved);
    return 0;
}
