// "Dc09.cfg" read from any bytes, written and read again: the settings read
// back are the ones written, nothing written is reported as a bad line, and
// writing them again gives the same file.
#include "common/AesCbc.h"
#include "config/Dc09ConfigFile.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Dc09Settings loaded;
    const QList<Dc09ConfigFile::Problem> problems = Dc09ConfigFile::parse(bytesOf({data, size}), loaded);
    for (const Dc09ConfigFile::Problem& problem : problems)
        require(problem.line >= 1 && !Dc09ConfigFile::problemText(problem).isEmpty());
    require(loaded.lag >= 0 && loaded.lag <= Dc09Settings::kMaxWindow);
    require(loaded.lead >= 0 && loaded.lead <= Dc09Settings::kMaxWindow);
    for (const QByteArray& key : loaded.keys)
        require(AesCbc::isKeyLength(key.size()));

    const QByteArray saved = Dc09ConfigFile::serialize(loaded);
    Dc09Settings reloaded;
    require(Dc09ConfigFile::parse(saved, reloaded).isEmpty());
    require(reloaded == loaded);
    require(Dc09ConfigFile::serialize(reloaded) == saved);
    return 0;
}
