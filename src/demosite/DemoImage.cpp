#include "demosite/DemoImage.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// splitmix64: small, fast and fully determined by its seed.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  int Below(int bound) { return static_cast<int>(Next() % static_cast<std::uint64_t>(bound)); }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }

 private:
  std::uint64_t state_;
};

using Colour = std::array<double, 3>;

Colour RandomColour(Random& random) {
  return {static_cast<double>(random.Below(256)), static_cast<double>(random.Below(256)),
          static_cast<double>(random.Below(256))};
}

Colour Mix(const Colour& a, const Colour& b, double t) {
  return {a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t};
}

void Put(RgbImage& image, int x, int y, const Colour& colour) {
  std::uint8_t* pixel = image.At(x, y);
  for (int c = 0; c < 3; ++c) pixel[c] = static_cast<std::uint8_t>(std::clamp(colour[c], 0.0, 255.0));
}

Colour Get(RgbImage& image, int x, int y) {
  const std::uint8_t* pixel = image.At(x, y);
  return {static_cast<double>(pixel[0]), static_cast<double>(pixel[1]), static_cast<double>(pixel[2])};
}

void LinearGradient(RgbImage& image, Random& random) {
  const Colour a = RandomColour(random), b = RandomColour(random);
  const double angle = random.Unit() * 6.283185307179586;
  const double dx = std::cos(angle), dy = std::sin(angle);
  const double span = std::abs(dx) * image.width + std::abs(dy) * image.height;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      double t = ((x - image.width / 2.0) * dx + (y - image.height / 2.0) * dy) / span + 0.5;
      Put(image, x, y, Mix(a, b, std::clamp(t, 0.0, 1.0)));
    }
}

void RadialGradient(RgbImage& image, Random& random) {
  const Colour inner = RandomColour(random), outer = RandomColour(random);
  const double cx = random.Unit() * image.width, cy = random.Unit() * image.height;
  const double radius = (0.4 + random.Unit()) * std::max(image.width, image.height);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const double d = std::hypot(x - cx, y - cy) / radius;
      Put(image, x, y, Mix(inner, outer, std::min(d, 1.0)));
    }
}

void Shapes(RgbImage& image, Random& random) {
  LinearGradient(image, random);
  const int count = 2 + random.Below(7);
  for (int i = 0; i < count; ++i) {
    const Colour colour = RandomColour(random);
    const double cx = random.Unit() * image.width, cy = random.Unit() * image.height;
    const double size = (0.08 + random.Unit() * 0.3) * std::min(image.width, image.height);
    const bool circle = random.Below(2) == 0;
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x) {
        const bool inside = circle ? std::hypot(x - cx, y - cy) < size
                                   : std::abs(x - cx) < size && std::abs(y - cy) < size * 0.7;
        if (inside) Put(image, x, y, colour);
      }
  }
}

void Stripes(RgbImage& image, Random& random) {
  const Colour a = RandomColour(random), b = RandomColour(random);
  const int width = 4 + random.Below(24);
  const bool vertical = random.Below(2) == 0;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) Put(image, x, y, ((vertical ? x : x + y) / width) % 2 ? a : b);
}

void Checks(RgbImage& image, Random& random) {
  const Colour a = RandomColour(random), b = RandomColour(random);
  const int cell = 6 + random.Below(30);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) Put(image, x, y, (x / cell + y / cell) % 2 ? a : b);
}

// Smooth value noise on a coarse lattice, coloured between two colours.
void Clouds(RgbImage& image, Random& random) {
  const Colour a = RandomColour(random), b = RandomColour(random);
  const int cell = 12 + random.Below(30);
  const int gw = image.width / cell + 2, gh = image.height / cell + 2;
  std::vector<double> lattice(static_cast<size_t>(gw) * gh);
  for (double& value : lattice) value = random.Unit();
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const double fx = static_cast<double>(x) / cell, fy = static_cast<double>(y) / cell;
      const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
      const double tx = fx - ix, ty = fy - iy;
      const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
      const auto at = [&](int gx, int gy) { return lattice[static_cast<size_t>(gy) * gw + gx]; };
      const double top = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * sx;
      const double bottom = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * sx;
      Put(image, x, y, Mix(a, b, top + (bottom - top) * sy));
    }
}

// Per-pixel grain over whatever is drawn.
void Grain(RgbImage& image, Random& random) {
  const int amount = 8 + random.Below(40);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      Colour colour = Get(image, x, y);
      for (double& c : colour) c += random.Below(2 * amount + 1) - amount;
      Put(image, x, y, colour);
    }
}

}  // namespace

RgbImage RenderDemoImage(std::uint64_t seed) {
  Random random(seed);
  static const int kSizes[][2] = {{160, 120}, {200, 150}, {120, 160}, {180, 180}, {240, 135}, {97, 131}};
  const auto& size = kSizes[random.Below(6)];
  RgbImage image;
  image.width = size[0];
  image.height = size[1];
  image.pixels.assign(static_cast<size_t>(image.width) * image.height * 3, 0);
  switch (random.Below(6)) {
    case 0: LinearGradient(image, random); break;
    case 1: RadialGradient(image, random); break;
    case 2: Shapes(image, random); break;
    case 3: Stripes(image, random); break;
    case 4: Checks(image, random); break;
    default: Clouds(image, random); break;
  }
  if (random.Below(3) == 0) Grain(image, random);
  return image;
}
