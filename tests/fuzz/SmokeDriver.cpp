// Without libFuzzer (a gcc build) each target still runs: over its seed corpus, then over
// a fixed number of deterministic mutations of it, so the suite checks it on every build.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int run(const QByteArray& input)
{
    return LLVMFuzzerTestOneInput(
        reinterpret_cast<const uint8_t*>(input.constData()), static_cast<size_t>(input.size()));
}

QByteArray mutate(QByteArray input, QRandomGenerator& random)
{
    static const QByteArray tokens[] = {"[", "]", "=", "\r\n", "\n", "\r", "$vbcrlf$", "Count=", "\"", "\\",
        "hex:", "dword:", "@=", "\xff", "\xc3", "99999999999"};
    for (int edits = 1 + random.bounded(4); edits > 0; --edits) {
        const int at = input.isEmpty() ? 0 : random.bounded(static_cast<int>(input.size()) + 1);
        switch (random.bounded(3)) {
        case 0:
            input.insert(at, tokens[random.bounded(static_cast<int>(std::size(tokens)))]);
            break;
        case 1:
            input.remove(at, random.bounded(8));
            break;
        default:
            input.insert(at, static_cast<char>(random.bounded(256)));
            break;
        }
    }
    return input;
}

} // namespace

int main(int argc, char** argv)
{
    QList<QByteArray> corpus {QByteArray()};
    for (int i = 1; i < argc; ++i) {
        const QDir dir(QString::fromLocal8Bit(argv[i]));
        for (const QString& name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                corpus.append(file.readAll());
        }
    }
    QRandomGenerator random(1234);
    int runs = 0;
    for (const QByteArray& seed : corpus) {
        run(seed);
        ++runs;
        for (int i = 0; i < 300; ++i, ++runs)
            run(mutate(seed, random));
    }
    printf("%d inputs from %lld seeds\n", runs, static_cast<long long>(corpus.size()));
    return 0;
}
