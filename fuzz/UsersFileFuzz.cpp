// "Users.lst" read from any bytes, written and read again: the operators read
// back must be the ones written, and writing them again gives the same file.
#include "config/UsersFile.h"
#include "fuzz/FuzzInput.h"

namespace {

const QString kAnonymousName = QStringLiteral("Anônimo");

OperatorTable load(const QByteArray& content) {
    OperatorTable table;
    table.reset(kAnonymousName);
    UsersFile::parse(content, table);
    return table;
}

bool same(const OperatorTable& a, const OperatorTable& b) {
    if (a.count() != b.count())
        return false;
    for (int i = 0; i < OperatorTable::kSize; ++i) {
        const Operator& x = a.entry(i);
        const Operator& y = b.entry(i);
        if (x.name != y.name || x.number != y.number || x.rights != y.rights || x.password != y.password)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const OperatorTable loaded = load(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    require(loaded.count() >= OperatorTable::kFirstNamed && loaded.count() <= OperatorTable::kSize);
    const QByteArray saved = UsersFile::serialize(loaded);
    const OperatorTable reloaded = load(saved);
    require(same(loaded, reloaded));
    require(UsersFile::serialize(reloaded) == saved);
    return 0;
}
