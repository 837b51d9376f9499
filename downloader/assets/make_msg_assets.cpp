// Writes the notices' pictures and sounds: small files of our own, made at
// build time so the repository holds no binaries.
//   make_msg_assets <folder>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes &b, unsigned v)
{
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}

void put32(Bytes &b, std::uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// An 8-colour GIF whose pixel codes are written without compression: a clear
// code every four pixels keeps every code 4 bits wide for any decoder.
Bytes gif(int size, const std::uint8_t (&palette)[8][3], const std::vector<std::uint8_t> &pixels)
{
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    put16(b, size);
    put16(b, size);
    b.push_back(0xF2); // global colour table of 8 entries
    b.push_back(0);
    b.push_back(0);
    for (const auto &rgb : palette)
        b.insert(b.end(), rgb, rgb + 3);
    b.push_back(0x2C);
    put16(b, 0);
    put16(b, 0);
    put16(b, size);
    put16(b, size);
    b.push_back(0);
    b.push_back(3); // minimum code size
    const unsigned clear = 8, end = 9;
    Bytes data;
    std::uint32_t acc = 0;
    int bits = 0;
    const auto code = [&](unsigned c) {
        acc |= c << bits;
        bits += 4;
        while (bits >= 8) {
            data.push_back(acc & 0xFF);
            acc >>= 8;
            bits -= 8;
        }
    };
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (i % 4 == 0)
            code(clear);
        code(pixels[i]);
    }
    code(end);
    if (bits > 0)
        data.push_back(acc & 0xFF);
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - i);
        b.push_back(static_cast<std::uint8_t>(n));
        b.insert(b.end(), data.begin() + i, data.begin() + i + n);
    }
    b.push_back(0);
    b.push_back(0x3B);
    return b;
}

// A round badge: colour 1 on a white ground, a mark of colour 2 inside.
std::vector<std::uint8_t> badge(int size, bool arrow)
{
    std::vector<std::uint8_t> p(size * size, 0);
    const double c = (size - 1) / 2.0, r = size / 2.0 - 1;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double dx = x - c, dy = y - c;
            if (dx * dx + dy * dy > r * r)
                continue;
            bool mark;
            if (arrow) // a downward arrow
                mark = (std::abs(dx) < 3 && dy < 6 && dy > -11) || (dy >= 2 && dy < 11 && std::abs(dx) < 11 - dy);
            else // an exclamation mark
                mark = std::abs(dx) < 2.5 && ((dy > -11 && dy < 4) || (dy > 7 && dy < 11));
            p[y * size + x] = mark ? 2 : 1;
        }
    return p;
}

// 16-bit mono PCM: a few tones, each with a soft decay.
Bytes wav(const std::vector<std::pair<double, double>> &tones)
{
    const int rate = 22050;
    std::vector<std::int16_t> samples;
    for (const auto &[freq, seconds] : tones) {
        const int n = static_cast<int>(rate * seconds);
        for (int i = 0; i < n; ++i) {
            const double t = double(i) / rate;
            const double envelope = std::exp(-4.0 * t / seconds) * std::min(1.0, i / 200.0);
            samples.push_back(static_cast<std::int16_t>(12000 * envelope * std::sin(2 * M_PI * freq * t)));
        }
    }
    Bytes b = {'R', 'I', 'F', 'F'};
    put32(b, 36 + 2 * samples.size());
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, 16);
    put16(b, 1);
    put16(b, 1);
    put32(b, rate);
    put32(b, rate * 2);
    put16(b, 2);
    put16(b, 16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, 2 * samples.size());
    for (std::int16_t s : samples)
        put16(b, static_cast<std::uint16_t>(s));
    return b;
}

bool write(const std::string &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bool(out);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_msg_assets <folder>\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const std::uint8_t red[8][3] = {{255, 255, 255}, {200, 30, 30}, {255, 255, 255}, {0, 0, 0},
                                    {0, 0, 0},       {0, 0, 0},     {0, 0, 0},       {0, 0, 0}};
    const std::uint8_t blue[8][3] = {{255, 255, 255}, {30, 90, 200}, {255, 255, 255}, {0, 0, 0},
                                     {0, 0, 0},       {0, 0, 0},     {0, 0, 0},       {0, 0, 0}};
    const bool ok = write(dir + "error.gif", gif(32, red, badge(32, false)))
                    && write(dir + "download.gif", gif(32, blue, badge(32, true)))
                    && write(dir + "ding.wav", wav({{1318.5, 0.35}}))
                    && write(dir + "notify.wav", wav({{880, 0.12}, {1174.7, 0.25}}))
                    && write(dir + "user.wav", wav({{659.3, 0.1}, {784, 0.1}, {987.8, 0.2}}));
    if (!ok) {
        std::fprintf(stderr, "make_msg_assets: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
