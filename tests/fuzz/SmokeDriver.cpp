// Without libFuzzer (a gcc build) each target still runs: over its seed corpus, then over
// a fixed number of deterministic mutations of it, so the suite checks it on every build.
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static QByteArray mutate(QByteArray input, QRandomGenerator& random)
{
    static const QByteArray tokens[] = {"[", "]", "=", "\r\n", "\n", "\r", "$vbcrlf$", "Count=", "\"", "\\",
        "hex:", "dword:", "@=", "\xff", "\xc3", "99999999999"};
    for (int edits = 1 + random.bounded(4); edits > 0; --edits) {
        const int at = input.isEmpty() ? 0 : random.bounded(int(input.size()) + 1);
        const int kind = random.bounded(3);
        if (kind == 0)
            input.insert(at, tokens[random.bounded(int(std::size(tokens)))]);
        else if (kind == 1)
            input.remove(at, random.bounded(8));
        else
            input.insert(at, char(random.bounded(256)));
    }
    return input;
}

int main(int argc, char** argv)
{
    QList<QByteArray> corpus {QByteArray()};
    const QDir seeds(QString::fromLocal8Bit(argc > 1 ? argv[1] : "no-seeds"));
    for (const QString& name : seeds.entryList(QDir::Files)) {
        QFile file(seeds.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            corpus.append(file.readAll());
    }
    QRandomGenerator random(1234);
    for (const QByteArray& seed : corpus) {
        for (int i = 0; i <= 300; ++i) {
            const QByteArray input = i == 0 ? seed : mutate(seed, random);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size()));
        }
    }
    qInfo("%lld seeds, each also with 300 mutations", static_cast<long long>(corpus.size()));
    return 0;
}
