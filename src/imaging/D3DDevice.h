#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/ImageError.h"
#include "imaging/Texture.h"

// The process's one graphics device: a software component that makes
// textures from image files (resampled with the loader's triangle filter and
// dither) and draws the preview quad into a 128 x 128 back buffer with point
// sampling.
//
// Threads: Initialize, Shutdown and Current may be called from any thread.
// Texture creation and saving may run on worker threads while the UI thread
// draws; DrawPreview and BackBuffer belong to one thread (the UI thread).
class D3DDevice {
 public:
  static constexpr int kBackBufferSize = 128;
  // Textures whose size is taken from the file are rounded up to powers of two
  // and then held to this many pixels per side: the preview shows 128 x 128,
  // and a huge photo would otherwise need a texture of up to 64 MB or more.
  static constexpr int kMaxTextureSide = 2048;

  // Starts the device and logs the success line. Our device has no hardware
  // modes to fall back from, so it always starts; returns true. Calling it
  // again replaces the device (textures already made stay valid).
  static bool Initialize();
  // Releases the device; Current() is null afterwards. Textures held
  // elsewhere stay valid until their holders release them.
  static void Shutdown();
  // The device, or null before Initialize and after Shutdown.
  static std::shared_ptr<D3DDevice> Current();

  // Loads the image file at `path` (format told by its content) as a texture
  // of width x height pixels. A width or height of 0 takes the picture's own,
  // rounded up to a power of two (and held to kMaxTextureSide). A texture of
  // the picture's own size holds its pixels unfiltered; otherwise the picture
  // is resampled with the triangle filter and ordered dither. The file is
  // decoded and resampled row by row: besides the texture, only the rows in
  // flight are held. Returns null on failure, with the reason in *error (may
  // be null).
  std::shared_ptr<Texture> CreateTextureFromFile(const std::string& path, int width, int height,
                                                 TextureFormat format,
                                                 ImageError* error = nullptr) const;

  // Draws `texture` stretched over the whole back buffer with point sampling,
  // as the preview quad (0,0)-(128,128) with texture coordinates 0..1 does.
  // A null texture clears the back buffer to black.
  void DrawPreview(const Texture* texture);
  // kBackBufferSize * kBackBufferSize pixels, 0xAARRGGBB, top row first.
  // Valid as long as this device lives.
  const std::uint32_t* BackBuffer() const { return backBuffer_.data(); }

  D3DDevice();
  D3DDevice(const D3DDevice&) = delete;
  D3DDevice& operator=(const D3DDevice&) = delete;

 private:
  std::vector<std::uint32_t> backBuffer_;
};
