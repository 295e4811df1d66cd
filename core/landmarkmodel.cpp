#include "core/landmarkmodel.h"

#include <cstdint>
#include <fstream>
#include <sstream>
#include <vector>

#include <dlib/serialize.h>

namespace landmarkmodel {

namespace {

// A landmark model is a few megabytes; anything far larger is not one.
constexpr std::streamoff kMaxFileSize = 256 << 20;
// Largest magnitudes, as powers of two: shape coordinates, their changes
// and the feature pixels' offsets are in units of the face box (2^10);
// thresholds are grey-level differences (2^20).
constexpr int kMaxShapeValueLog2 = 10;
constexpr int kMaxThresholdLog2 = 20;

// Decodes dlib's serialised form, refusing what dlib's reader would take
// with undefined results: an integer whose bytes overflow when assembled,
// a float in the old text form, a size larger than the bytes left.
class Reader
{
public:
    explicit Reader(const std::string& bytes)
        : m_p(reinterpret_cast<const unsigned char*>(bytes.data())), m_end(m_p + bytes.size())
    {
    }

    size_t left() const { return size_t(m_end - m_p); }

    bool unsignedInt(uint64_t& value)
    {
        if (m_p == m_end)
            return false;
        const unsigned size = *m_p++ & 0x8F;
        if (size == 0 || size > 8 || left() < size)
            return false;
        value = 0;
        for (unsigned i = size; i-- > 0;)
            value = (value << 8) | m_p[i];
        m_p += size;
        return true;
    }

    bool signedInt(int64_t& value, unsigned width)
    {
        if (m_p == m_end)
            return false;
        const unsigned control = *m_p++;
        const unsigned size = control & 0x0F;
        if (size == 0 || size > width || left() < size)
            return false;
        if (size == width && (m_p[size - 1] & 0x80))
            return false;
        uint64_t magnitude = 0;
        for (unsigned i = size; i-- > 0;)
            magnitude = (magnitude << 8) | m_p[i];
        m_p += size;
        value = (control & 0x80) ? -int64_t(magnitude) : int64_t(magnitude);
        return true;
    }

    // A float in the binary form (mantissa times a power of two) whose
    // magnitude is below 2 to the power limitLog2; its value is not needed.
    bool real(int limitLog2)
    {
        if (m_p == m_end || (*m_p & 0x70) != 0)
            return false;  // the old text form
        int64_t mantissa = 0;
        int64_t exponent = 0;
        if (!signedInt(mantissa, 8) || !signedInt(exponent, 2))
            return false;
        if (exponent >= dlib::float_details::is_inf)
            return false;  // infinity or not a number
        if (mantissa == 0)
            return true;
        const uint64_t magnitude = uint64_t(mantissa < 0 ? -mantissa : mantissa);
        const int bits = 64 - __builtin_clzll(magnitude);
        return bits + exponent <= limitLog2;
    }

    // A count of elements that each take at least one byte.
    bool count(uint64_t& value) { return unsignedInt(value) && value <= left(); }

private:
    const unsigned char* m_p;
    const unsigned char* m_end;
};

struct Fault {
    std::string text;
};

void require(bool condition, const char* what)
{
    if (!condition)
        throw Fault{what};
}

void readBounded(Reader& in, int limitLog2, const char* what)
{
    require(in.real(limitLog2), what);
}

// A column vector of shape coordinates, two per point.
void readShape(Reader& in, uint64_t points, const char* what)
{
    int64_t rows = 0;
    int64_t cols = 0;
    require(in.signedInt(rows, 8) && in.signedInt(cols, 8), what);
    if (rows < 0 || cols < 0) {
        rows = -rows;
        cols = -cols;
    }
    require(cols == 1 && uint64_t(rows) == 2 * points, what);
    for (int64_t i = 0; i < rows; ++i)
        readBounded(in, kMaxShapeValueLog2, what);
}

}  // namespace

std::string check(const std::string& bytes, unsigned long points)
{
    Reader in(bytes);
    try {
        int64_t version = 0;
        require(in.signedInt(version, sizeof(int)) && version == 1, "unknown version");
        readShape(in, points, "bad initial shape");

        uint64_t cascades = 0;
        require(in.count(cascades), "bad number of cascades");
        // The largest feature-pixel index each cascade's splits use.
        std::vector<uint64_t> largestFeature(cascades, 0);
        std::vector<bool> anySplit(cascades, false);
        for (uint64_t c = 0; c < cascades; ++c) {
            uint64_t trees = 0;
            require(in.count(trees), "bad number of trees");
            for (uint64_t t = 0; t < trees; ++t) {
                uint64_t splits = 0;
                require(in.count(splits), "bad number of splits");
                for (uint64_t s = 0; s < splits; ++s) {
                    uint64_t a = 0;
                    uint64_t b = 0;
                    require(in.unsignedInt(a) && in.unsignedInt(b), "bad split");
                    readBounded(in, kMaxThresholdLog2, "bad split threshold");
                    largestFeature[c] = std::max({largestFeature[c], a, b});
                    anySplit[c] = true;
                }
                uint64_t leaves = 0;
                require(in.count(leaves), "bad number of leaves");
                // A complete tree: the walk from the root ends at leaf
                // index (node - splits), which must exist.
                require(leaves == splits + 1 && (leaves & (leaves - 1)) == 0, "incomplete tree");
                for (uint64_t l = 0; l < leaves; ++l)
                    readShape(in, points, "bad leaf");
            }
        }

        uint64_t anchorSets = 0;
        require(in.count(anchorSets) && anchorSets == cascades, "anchors do not match the cascades");
        std::vector<uint64_t> features(cascades, 0);
        for (uint64_t c = 0; c < cascades; ++c) {
            require(in.count(features[c]), "bad number of anchors");
            for (uint64_t f = 0; f < features[c]; ++f) {
                uint64_t anchor = 0;
                require(in.unsignedInt(anchor) && anchor < points, "anchor out of range");
            }
            require(!anySplit[c] || largestFeature[c] < features[c], "split feature out of range");
        }

        uint64_t deltaSets = 0;
        require(in.count(deltaSets) && deltaSets == cascades, "offsets do not match the cascades");
        for (uint64_t c = 0; c < cascades; ++c) {
            uint64_t n = 0;
            require(in.count(n) && n == features[c], "offsets do not match the anchors");
            for (uint64_t f = 0; f < 2 * n; ++f)
                readBounded(in, kMaxShapeValueLog2, "bad offset");
        }
        require(in.left() == 0, "bytes after the model");
    } catch (const Fault& fault) {
        return fault.text;
    }
    return std::string();
}

std::string load(const std::string& path, unsigned long points, dlib::shape_predictor& model)
{
    model = dlib::shape_predictor();
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return "cannot open " + path;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0 || size > kMaxFileSize)
        return "not a landmark model (size)";
    file.seekg(0, std::ios::beg);
    std::string bytes(size_t(size), '\0');
    if (!file.read(&bytes[0], size))
        return "cannot read " + path;

    std::string fault = check(bytes, points);
    if (!fault.empty())
        return "damaged model: " + fault;
    try {
        std::istringstream in(bytes);
        dlib::deserialize(model, in);
    } catch (const dlib::error& e) {
        model = dlib::shape_predictor();
        return std::string(e.what()) + e.type_to_string();
    } catch (const std::exception& e) {
        model = dlib::shape_predictor();
        return e.what();
    }
    return std::string();
}

}  // namespace landmarkmodel
