// The network's shape walk, priors, decoding and suppression, the result
// buffer, and the weight sets (built-in and generated).

#include <QtTest>

#include <array>
#include <cstdio>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "core/facedetection/facedetectcnn.h"

using namespace facedetect;

namespace {

std::vector<unsigned char> randomImage(int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<unsigned char> img(std::size_t(w) * h * 3);
    for (auto& v : img)
        v = (unsigned char)(rng() & 0xFF);
    return img;
}

// Candidates for detection_output: priors given as boxes, zero offsets
// (so each decodes to its prior box), and the given face scores.
struct Candidates
{
    TensorBlob<float> priors, boxes, scores;
    explicit Candidates(const std::vector<std::array<float, 4>>& rects, const std::vector<float>& faceScores)
    {
        const int n = int(rects.size());
        priors.create(1, 1, 4 * n);
        boxes.create(1, 1, 14 * n);
        scores.create(1, 1, 2 * n);
        std::fill(boxes.data, boxes.data + 14 * n, 0.0f);
        for (int i = 0; i < n; ++i) {
            std::copy(rects[i].begin(), rects[i].end(), priors.data + 4 * i);
            scores.data[2 * i] = 1 - faceScores[i];
            scores.data[2 * i + 1] = faceScores[i];
        }
    }
    TensorBlob<float> run()
    {
        TensorBlob<float> out;
        detection_output(&priors, &boxes, &scores, 0.3f, 0.5f, 1000, 100, &out);
        return out;
    }
};

// A grid of small, separate boxes.
std::vector<std::array<float, 4>> grid(int n)
{
    std::vector<std::array<float, 4>> r;
    for (int i = 0; i < n; ++i) {
        const float x = float(i % 16) / 16, y = float(i / 16) / 16;
        r.push_back({x, y, x + 1.0f / 32, y + 1.0f / 32});
    }
    return r;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestFaceDetectOutput : public QObject
{
    Q_OBJECT
private slots:
    // The filters are built once even when the first calls come together.
    void firstCallFromTwoThreads()
    {
        const auto img = randomImage(160, 120, 9);
        std::vector<unsigned char> b1(0x20000), b2(0x20000);
        int c1 = -1, c2 = -1;
        std::thread t([&] { c1 = *cnn_face_detect(b1.data(), const_cast<unsigned char*>(img.data()), 160, 120, 480); });
        c2 = *cnn_face_detect(b2.data(), const_cast<unsigned char*>(img.data()), 160, 120, 480);
        t.join();
        QCOMPARE(c1, c2);
        QCOMPARE(std::memcmp(b1.data(), b2.data(), 4 + std::size_t(c1) * 284), 0);
    }

    // Weights that see a face in the largest prior of map 4, whatever the
    // image: the whole path from the heads to the result buffer.
    void endToEndWithCraftedWeights()
    {
        std::vector<signed char> zeros(256 * 256 * 9, 0);
        std::vector<std::vector<int32_t>> biases(kFaceLayerCount);
        ConvLayerInfo table[kFaceLayerCount];
        QVERIFY(buildLayerTable(embeddedFaceWeights(), embeddedFaceWeightsSize(), table));
        for (int n = 0; n < kFaceLayerCount; ++n) {
            biases[n].assign(table[n].num, n < 16 ? 1 : 0);
            table[n].weight_data = zeros.data();
            table[n].bias = biases[n].data();
        }
        biases[23][1] = int32_t(table[23].scale * 10); // face logit about 10 for the 128 prior
        Filters filters[kFaceLayerCount];
        QVERIFY(buildFilters(table, filters));
        const auto img = randomImage(160, 120, 10);
        const std::vector<DetectedFace> faces = detectFaces(filters, img.data(), 160, 120, 480);
        // Both cells of map 4 fire with equal scores; they overlap by 0.4, so
        // the first stays: the prior (-32, -32)-(96, 96) clipped to the image.
        QCOMPARE(int(faces.size()), 1);
        const DetectedFace& f = faces[0];
        QVERIFY(f.score > 0.9999f && f.score <= 1.0f);
        QCOMPARE(f.x, 0);
        QCOMPARE(f.y, 0);
        QCOMPARE(f.width, 96);
        QCOMPARE(f.height, 96);
        for (int j = 0; j < 10; ++j)
            QCOMPARE(f.landmarks[j], 32);

        std::vector<unsigned char> buffer(0x20000, 0xEE);
        int* r = writeFaceRecords(buffer.data(), faces);
        QCOMPARE(*r, 1);
        const short* rec = reinterpret_cast<const short*>(buffer.data() + 4);
        QCOMPARE(int(rec[0]), 99);
        QCOMPARE(int(rec[3]), 96);
        QCOMPARE(int(rec[14]), 32);
        QCOMPARE(int(rec[15]), int(short(0xEEEE))); // beyond the 15 values: untouched
    }

    void recordsOfTheBuffer()
    {
        DetectedFace f{};
        std::vector<DetectedFace> faces;
        for (float score : {0.949f, 0.948f, 0.632f, 0.5001f}) {
            f.score = score;
            faces.push_back(f);
        }
        f.x = 70000; // stored as its low 16 bits
        f.landmarks[9] = -3;
        faces.push_back(f);
        std::vector<unsigned char> buffer(0x20000);
        writeFaceRecords(buffer.data(), faces);
        const short* rec = reinterpret_cast<const short*>(buffer.data() + 4);
        QCOMPARE(*reinterpret_cast<int*>(buffer.data()), 5);
        QCOMPARE(int(rec[0]), 90);
        QCOMPARE(int(rec[142]), 89);
        QCOMPARE(int(rec[2 * 142]), 39);
        QCOMPARE(int(rec[3 * 142]), 25);
        QCOMPARE(int(rec[4 * 142 + 1]), 70000 - 65536);
        QCOMPARE(int(rec[4 * 142 + 14]), -3);
        faces.resize(300, f);
        QCOMPARE(*writeFaceRecords(buffer.data(), faces), 256);
    }

    void shapeWalkAndPriors()
    {
        ConvLayerInfo table[kFaceLayerCount];
        QVERIFY(buildLayerTable(embeddedFaceWeights(), embeddedFaceWeightsSize(), table));
        Filters filters[kFaceLayerCount];
        QVERIFY(buildFilters(table, filters));
        QCOMPARE(filters[0].filters[0]->channels, 27);
        QCOMPARE(filters[0].stride, 1);
        QCOMPARE(filters[0].pad, 0);

        const auto img = randomImage(160, 120, 1);
        NetworkOutput net;
        QVERIFY(runNetwork(filters, img.data(), 160, 120, 160 * 3, &net));
        const int priors = 900 + 140 + 30 + 6; // 20x15x3, 10x7x2, 5x3x2, 2x1x3
        QCOMPARE(net.priors.channels, 4 * priors);
        QCOMPARE(net.boxes.channels, 14 * priors);
        QCOMPARE(net.scores.channels, 2 * priors);
        // Map 1, cell (0, 0), size 10 with step 8.
        QCOMPARE(net.priors.data[0], (4.0f - 5.0f) / 160);
        QCOMPARE(net.priors.data[3], (4.0f + 5.0f) / 120);
        // Map 1, cell (1, 0), size 24: the sixth prior.
        QCOMPARE(net.priors.data[4 * 5 + 0], (12.0f - 12.0f) / 160);
        // Map 2 starts at prior 900: cell (0, 0), size 32 with step 16.
        QCOMPARE(net.priors.data[4 * 900 + 0], (8.0f - 16.0f) / 160);
        // Map 4, last prior: cell (1, 0), size 256 with step 64.
        QCOMPARE(net.priors.data[4 * (priors - 1) + 2], (96.0f + 128.0f) / 160);

        // Every kernel path gives the same outputs, bit for bit.
        const KernelPath best = bestKernelPath();
        for (KernelPath path : {KernelPath::Plain, KernelPath::SSE2}) {
            setKernelPath(path);
            NetworkOutput other;
            QVERIFY(runNetwork(filters, img.data(), 160, 120, 160 * 3, &other));
            QVERIFY(std::memcmp(other.boxes.data, net.boxes.data, sizeof(float) * 14 * priors) == 0);
            QVERIFY(std::memcmp(other.scores.data, net.scores.data, sizeof(float) * 2 * priors) == 0);
        }
        setKernelPath(best);

        // An odd width packs with a last half column; a tiny image fails cleanly.
        QVERIFY(runNetwork(filters, randomImage(161, 121, 2).data(), 161, 121, 161 * 3, &net));
        QCOMPARE(net.priors.channels, 4 * priors);
        QVERIFY(detectFaces(filters, randomImage(20, 20, 3).data(), 20, 20, 60).empty());
    }

    void softmax()
    {
        TensorBlob<float> b(1, 1, 4);
        b.data[0] = 1000;
        b.data[1] = 1000;
        b.data[2] = 0;
        b.data[3] = std::log(3.0f);
        QVERIFY(softmax1vector2class(&b));
        QCOMPARE(b.data[0], 0.5f);
        QCOMPARE(b.data[1], 0.5f);
        QVERIFY(qAbs(b.data[3] - 0.75f) < 1e-6f);
        QVERIFY(qAbs(b.data[2] + b.data[3] - 1.0f) < 1e-6f);
        TensorBlob<float> wide(2, 1, 2);
        QVERIFY(!softmax1vector2class(&wide));
    }

    void decoding()
    {
        Candidates c({{0.25f, 0.25f, 0.75f, 0.5f}}, {0.9f});
        float* d = c.boxes.data;
        d[0] = 1;                // centre x + 0.1 x width
        d[2] = std::log(2.0f) * 5; // width x 2
        d[4] = -2, d[5] = 3;     // landmark 0
        TensorBlob<float> out = c.run();
        QCOMPARE(out.width, 1);
        QCOMPARE(out.channels, 15);
        const float* o = out.ptr(0, 0);
        QCOMPARE(o[0], 0.9f);
        QVERIFY(qAbs(o[1] - 0.05f) < 1e-6f); // 0.55 - 0.5
        QCOMPARE(o[2], 0.25f);
        QCOMPARE(o[3], 1.0f);                // 1.05 clipped
        QCOMPARE(o[4], 0.5f);
        QVERIFY(qAbs(o[5] - 0.4f) < 1e-6f);   // -2 x 0.1 x 0.5 + 0.5
        QVERIFY(qAbs(o[6] - 0.45f) < 1e-6f);  // 3 x 0.1 x 0.25 + 0.375
        QCOMPARE(o[7], 0.5f);                 // landmarks with zero offsets: the centre
    }

    void thresholdAndOrder()
    {
        // 0.5 exactly is not a face.
        Candidates atHalf(grid(2), {0.5f, std::nextafter(0.5f, 1.0f)});
        TensorBlob<float> out = atHalf.run();
        QCOMPARE(out.width, 1);
        QCOMPARE(out.ptr(0, 0)[1], 1.0f / 16);

        Candidates none(grid(3), {0.1f, 0.5f, 0.2f});
        out = none.run();
        QCOMPARE(out.width, 0);
        QVERIFY(!out.data);

        // Highest score first; equal scores keep prior order.
        std::vector<float> scores;
        for (int i = 0; i < 40; ++i)
            scores.push_back(i % 3 == 0 ? 0.9f : 0.8f);
        Candidates many(grid(40), scores);
        out = many.run();
        QCOMPARE(out.width, 40);
        std::vector<int> order;
        for (int i = 0; i < 40; ++i) {
            const float* o = out.ptr(0, i);
            order.push_back(int(std::lround(o[1] * 16 + o[2] * 256)));
        }
        std::vector<int> expected;
        for (int i = 0; i < 40; i += 3)
            expected.push_back(i);
        for (int i = 0; i < 40; ++i)
            if (i % 3 != 0)
                expected.push_back(i);
        QCOMPARE(order, expected);
    }

    void suppression()
    {
        // Same height, widths 13/64, offset 7/64: overlap exactly 6/20 = 0.3.
        const float w = 13.0f / 64;
        NormalizedBBox_ a{0, 0, w, 0.5f, {}}, b{7.0f / 64, 0, 7.0f / 64 + w, 0.5f, {}};
        QCOMPARE(JaccardOverlap(a, b), 0.3f);
        Candidates exact({{0, 0, w, 0.5f}, {7.0f / 64, 0, 7.0f / 64 + w, 0.5f}}, {0.9f, 0.8f});
        QCOMPARE(exact.run().width, 2);
        Candidates more({{0, 0, w, 0.5f}, {6.0f / 64, 0, 6.0f / 64 + w, 0.5f}}, {0.8f, 0.9f});
        TensorBlob<float> out = more.run();
        QCOMPARE(out.width, 1);
        QCOMPARE(out.ptr(0, 0)[0], 0.9f); // the better one stays

        NormalizedBBox_ apart{0.6f, 0.6f, 0.7f, 0.7f, {}}, inter;
        QCOMPARE(JaccardOverlap(a, apart), 0.0f);
        IntersectBBox(a, apart, &inter);
        QCOMPARE(inter.xmax, 0.0f);
        NormalizedBBox_ touching{w, 0, 0.5f, 0.5f, {}};
        QCOMPARE(JaccardOverlap(a, touching), 0.0f);
    }

    void atMostHundred()
    {
        Candidates c(grid(150), std::vector<float>(150, 0.7f));
        TensorBlob<float> out = c.run();
        QCOMPARE(out.width, 100);
        QCOMPARE(out.ptr(0, 99)[1], float(99 % 16) / 16);
    }

    void sizeMismatch()
    {
        Candidates c(grid(2), {0.9f, 0.9f});
        TensorBlob<float> scores(1, 1, 6), out;
        std::ostringstream text;
        std::streambuf* old = std::cerr.rdbuf(text.rdbuf());
        const bool ok = detection_output(&c.priors, &c.boxes, &scores, 0.3f, 0.5f, 1000, 100, &out);
        std::cerr.rdbuf(old);
        QVERIFY(!ok);
        QCOMPARE(QString::fromStdString(text.str()),
                 QString("detection_output: The sizes of the inputs are not match.\n"
                         "priorbox channels=8, loc channels=28, conf channels=6\n"));
    }

    void resultBuffer()
    {
        // A null buffer is reported on the error descriptor itself.
        fflush(stderr);
        QTemporaryFile capture;
        QVERIFY(capture.open());
        const int saved = dup(2);
        dup2(capture.handle(), 2);
        int* r = cnn_face_detect(nullptr, nullptr, 160, 120, 480);
        fflush(stderr);
        dup2(saved, 2);
        ::close(saved);
        QVERIFY(!r);
        QCOMPARE(readFile(capture.fileName()), QByteArray("cnn_face_detect: null buffer memory.\n"));

        std::vector<unsigned char> buffer(0x20000, 0xEE);
        auto img = randomImage(160, 120, 4);
        r = cnn_face_detect(buffer.data(), img.data(), 160, 120, 480);
        QCOMPARE(static_cast<void*>(r), static_cast<void*>(buffer.data()));
        QVERIFY(*r >= 0 && *r <= 100);
        QCOMPARE(kFaceResultBufferSize, 72708);
    }

    // The built-in file and the generator's: the format the trainer writes.
    void weightSets()
    {
        ConvLayerInfo table[kFaceLayerCount];
        QVERIFY(buildLayerTable(embeddedFaceWeights(), embeddedFaceWeightsSize(), table));
        for (const ConvLayerInfo& l : table)
            QVERIFY(std::isfinite(l.scale) && l.scale > 0);
        QCOMPARE(table[0].stride, 2);
        QCOMPARE(table[16].num, 42);

        const QString tool = QStringLiteral(LUMORA_BIN_DIR "/facedetect-weights");
        if (!QFile::exists(tool))
            QSKIP("the weight generator is not built");
        QTemporaryDir dir;
        const QString a = dir.filePath("a.bin"), b = dir.filePath("b.bin");
        QCOMPARE(QProcess::execute(tool, {a}), 0);
        QCOMPARE(QProcess::execute(tool, {b}), 0);
        const QByteArray data = readFile(a);
        QCOMPARE(data, readFile(b));
        const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
        QVERIFY(buildLayerTable(bytes, std::size_t(data.size()), table));
        QCOMPARE(table[5].scale, 47.982807f);
        QByteArray broken = data;
        broken[4] = 2;
        QVERIFY(!buildLayerTable(reinterpret_cast<const unsigned char*>(broken.constData()),
                                 std::size_t(broken.size()), table));
        QVERIFY(!buildLayerTable(bytes, std::size_t(data.size()) - 1, table));

        // Its score heads never favour a face, whatever the image.
        QVERIFY(buildLayerTable(bytes, std::size_t(data.size()), table));
        Filters filters[kFaceLayerCount];
        QVERIFY(buildFilters(table, filters));
        std::vector<std::vector<unsigned char>> images{randomImage(160, 120, 5), randomImage(160, 120, 6),
                                                       std::vector<unsigned char>(160 * 120 * 3, 255),
                                                       std::vector<unsigned char>(160 * 120 * 3, 0)};
        for (const auto& img : images) {
            NetworkOutput net;
            QVERIFY(runNetwork(filters, img.data(), 160, 120, 480, &net));
            bool anyWork = false;
            for (int i = 0; i < net.scores.channels; i += 2) {
                QVERIFY(net.scores.data[i + 1] <= net.scores.data[i]);
                anyWork = anyWork || net.scores.data[i] != 0;
            }
            QVERIFY(anyWork);
            QVERIFY(detectFaces(filters, img.data(), 160, 120, 480).empty());
        }
    }
};

QTEST_GUILESS_MAIN(TestFaceDetectOutput)
#include "tst_facedetectoutput.moc"
