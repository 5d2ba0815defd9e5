#include "resources/Artwork.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace vqx::art {
namespace {

struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};

// Pictures are drawn on a 32 x 32 design grid as signed distances (negative inside).
float Circle(float x, float y, float cx, float cy, float r) {
    return std::hypot(x - cx, y - cy) - r;
}

float Capsule(float x, float y, float ax, float ay, float bx, float by, float r) {
    float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    float t = std::clamp((px * dx + py * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
    return std::hypot(px - dx * t, py - dy * t) - r;
}

float RoundBox(float x, float y, float x0, float y0, float x1, float y1, float r) {
    float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    float qx = std::fabs(x - cx) - ((x1 - x0) / 2 - r),
          qy = std::fabs(y - cy) - ((y1 - y0) / 2 - r);
    return std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) -
           r;
}

Rgba Over(Rgba top, Rgba under) {
    float a = top.a + under.a * (1 - top.a);
    if (a <= 0)
        return {};
    auto mix = [&](float t, float u) { return (t * top.a + u * under.a * (1 - top.a)) / a; };
    return {mix(top.r, under.r), mix(top.g, under.g), mix(top.b, under.b), a};
}

// `inside` is 0.5 minus the signed distance to a shape's edge, in design units; `sample` is the
// size of one sample in design units, so that edges stay one sample soft at any size.
Rgba Paint(float sample, float inside, int r, int g, int b) {
    const float coverage = 0.5f - (0.5f - inside) / sample;
    return {r / 255.0f, g / 255.0f, b / 255.0f, std::clamp(coverage, 0.0f, 1.0f)};
}

// A plain function pointer, called sixteen times a pixel. The sample size goes along as an
// argument: a thread-local one costs a library call at every use under mingw-w64, which doubled
// the time of a picture.
using Shader = Rgba (*)(float x, float y, float sample);

Rgba StateRing(float x, float y, float s, int grey) {
    float d = std::fabs(Circle(x, y, 16, 16, 13)) - 1.25f;
    return Paint(s, 0.5f - d, grey, grey, grey);
}

Shader ShaderFor(const std::string& key) {
    if (key == "icoEstadoON")
        return [](float x, float y, float s) {
            Rgba disc = Paint(s, 0.5f - Circle(x, y, 16, 16, 14), 0, 120, 215);
            float tick = std::min(Capsule(x, y, 9.5f, 16.5f, 14, 21, 1.6f),
                                  Capsule(x, y, 14, 21, 22.5f, 11.5f, 1.6f));
            return Over(Paint(s, 0.5f - tick, 255, 255, 255), disc);
        };
    if (key == "icoEstadoOFF")
        return [](float x, float y, float s) { return StateRing(x, y, s, 128); };
    if (key == "icoEstadoOX")
        return [](float x, float y, float s) { return StateRing(x, y, s, 210); };
    if (key == "icoCerrar")
        return [](float x, float y, float s) {
            float d =
                std::min(Capsule(x, y, 10, 10, 22, 22, 1.0f), Capsule(x, y, 22, 10, 10, 22, 1.0f));
            return Paint(s, 0.5f - d, 255, 255, 255);
        };
    if (key == "IconoAPL")
        return [](float x, float y, float s) {
            // A white memory stick lying on its side on an opaque slate-grey square.
            Rgba ground = Paint(s, 1, 101, 109, 120);
            Rgba plug =
                Paint(s, 0.5f - RoundBox(x, y, 22, 12.5f, 28.5f, 19.5f, 0.6f), 196, 202, 210);
            float holes = std::min(RoundBox(x, y, 24, 14, 26.5f, 15.2f, 0.2f),
                                   RoundBox(x, y, 24, 16.8f, 26.5f, 18, 0.2f));
            Rgba body =
                Paint(s, 0.5f - RoundBox(x, y, 3.5f, 10.5f, 23, 21.5f, 2.2f), 255, 255, 255);
            float marks = std::min(Circle(x, y, 6.6f, 16, 1.3f),
                                   RoundBox(x, y, 10.5f, 15.3f, 19.5f, 16.7f, 0.5f));
            Rgba out = Over(Paint(s, 0.5f - holes, 101, 109, 120), Over(plug, ground));
            out = Over(body, out);
            return Over(Paint(s, 0.5f - marks, 101, 109, 120), out);
        };
    if (key == "curHand")
        return [](float x, float y, float s) {
            float hand = std::min({Capsule(x, y, 12, 3.5f, 12, 17, 2.6f),
                                   RoundBox(x, y, 9.4f, 14, 23.5f, 29, 3.5f),
                                   Capsule(x, y, 15.4f, 13.5f, 15.4f, 18, 2.4f),
                                   Capsule(x, y, 18.4f, 14.5f, 18.4f, 18.5f, 2.4f),
                                   Capsule(x, y, 21.2f, 16, 21.2f, 19.5f, 2.3f),
                                   Capsule(x, y, 9.6f, 21, 6, 16.5f, 2.2f)});
            Rgba outline = Paint(s, 0.5f - hand, 0, 0, 0);
            return Over(Paint(s, -0.9f - hand, 255, 255, 255), outline);
        };
    return nullptr;
}

// Renders a shader at `size` pixels with 4 x 4 samples a pixel, rows top to bottom.
std::vector<std::uint32_t> RenderShader(const Shader& shader, int size) {
    std::vector<std::uint32_t> px(static_cast<std::size_t>(size) * size);
    const float scale = 32.0f / size;
    const float sample = scale / 4;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    Rgba c = shader((x + (sx + 0.5f) / 4) * scale, (y + (sy + 0.5f) / 4) * scale,
                                    sample);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            // Straight (not premultiplied) colour, as icon files and icon handles take it.
            auto byte = [](float v) {
                return static_cast<std::uint32_t>(std::clamp(v, 0.0f, 1.0f) * 255 + 0.5f);
            };
            const float coverage = a / 16;
            const float k = a > 0 ? 1 / a : 0;
            px[static_cast<std::size_t>(y) * size + x] =
                (byte(coverage) << 24) | (byte(r * k) << 16) | (byte(g * k) << 8) | byte(b * k);
        }
    return px;
}

} // namespace

bool Known(const std::string& key) {
    return ShaderFor(key) != nullptr;
}

std::vector<std::uint32_t> Render(const std::string& key, int size) {
    Shader shader = ShaderFor(key);
    if (!shader || size <= 0)
        return {};
    return RenderShader(shader, size);
}

void HandHotspot(int size, int& x, int& y) {
    // The tip of the index finger lies at (12, 1) on the 32 x 32 design grid.
    x = 12 * size / 32;
    y = size / 32;
}

} // namespace vqx::art
