#include "camera/indi/FitsImage.h"

#include <fitsio.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <exception>
#include <memory>
#include <vector>

namespace nebulor::camera::indi {

namespace {

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

[[noreturn]] void fail(const std::string& what, int status) {
  char text[FLEN_STATUS] = {};
  fits_get_errstatus(status, text);
  fits_clear_errmsg();
  throw AutomationError("The camera's image is not a readable FITS image (" + what + ": " + text + ")");
}

struct FileCloser {
  void operator()(fitsfile* file) const {
    int status = 0;
    fits_close_file(file, &status);
  }
};
using FitsFile = std::unique_ptr<fitsfile, FileCloser>;

// A header card's value as a number or a text, read back through cfitsio by
// keyword; nullopt for cards that carry none (COMMENT, HISTORY, blank,
// undefined or complex values).
std::optional<FitsValue> cardValue(fitsfile* file, char* name, char* valueText) {
  if (valueText[0] == '\0') return std::nullopt;
  int status = 0;
  char type = 0;
  if (fits_get_keytype(valueText, &type, &status) != 0) return std::nullopt;
  if (type == 'C') {
    char text[FLEN_VALUE] = {};
    if (fits_read_key_str(file, name, text, nullptr, &status) != 0) return std::nullopt;
    return FitsValue{std::string(text)};
  }
  if (type == 'I' || type == 'F') {
    double number = 0;
    if (fits_read_key_dbl(file, name, &number, nullptr, &status) != 0) return std::nullopt;
    return FitsValue{number};
  }
  if (type == 'L') return FitsValue{std::string(valueText)};
  return std::nullopt;
}

std::map<std::string, FitsValue> readHeader(fitsfile* file) {
  std::map<std::string, FitsValue> header;
  int status = 0;
  int count = 0;
  if (fits_get_hdrspace(file, &count, nullptr, &status) != 0) fail("header", status);
  for (int card = 1; card <= count; ++card) {
    char name[FLEN_KEYWORD] = {};
    char value[FLEN_VALUE] = {};
    char comment[FLEN_COMMENT] = {};
    if (fits_read_keyn(file, card, name, value, comment, &status) != 0) fail("header card", status);
    if (auto parsed = cardValue(file, name, value)) header.emplace(upper(name), std::move(*parsed));
  }
  return header;
}

constexpr std::size_t kFitsBlock = 2880;

bool handledBitpix(int bitpix) {
  return bitpix == BYTE_IMG || bitpix == SHORT_IMG || bitpix == LONG_IMG || bitpix == LONGLONG_IMG ||
         bitpix == FLOAT_IMG || bitpix == DOUBLE_IMG;
}

// Every size the header states is checked before it is used: each side
// within what a sensor can have (so the products below stay far from
// overflowing), and the data within the bytes that arrived. cfitsio reads
// whole 2880-byte blocks and does not stop at the end of a memory file, so
// a file cut short would be read past its end.
stars::Frame readPixels(fitsfile* file, std::size_t fileSize) {
  int status = 0;
  int bitpix = 0;
  int axes = 0;
  long size[3] = {0, 0, 1};
  if (fits_get_img_param(file, 3, &bitpix, &axes, size, &status) != 0) fail("image size", status);
  if (axes < 2 || (axes == 3 && size[2] != 1) || axes > 3) {
    throw AutomationError("The camera's image is not a single two-dimensional image (it has " +
                          std::to_string(axes) + " axes)");
  }
  if (!handledBitpix(bitpix)) {
    throw AutomationError("The camera's image has BITPIX " + std::to_string(bitpix) +
                          ", which is no FITS pixel type");
  }
  if (size[0] < 1 || size[0] > kMaxSensorSide || size[1] < 1 || size[1] > kMaxSensorSide) {
    throw AutomationError("The camera's image claims to be " + std::to_string(size[0]) + " x " +
                          std::to_string(size[1]) + " pixels; a side must lie between 1 and " +
                          std::to_string(kMaxSensorSide));
  }
  const auto count = static_cast<std::size_t>(size[0]) * static_cast<std::size_t>(size[1]);
  const std::size_t dataBytes = count * static_cast<std::size_t>(std::abs(bitpix) / 8);
  LONGLONG headerStart = 0;
  LONGLONG dataStart = 0;
  LONGLONG dataEnd = 0;
  if (fits_get_hduaddrll(file, &headerStart, &dataStart, &dataEnd, &status) != 0) fail("layout", status);
  if (dataStart < 0 || static_cast<std::size_t>(dataStart) > fileSize ||
      dataBytes > fileSize - static_cast<std::size_t>(dataStart)) {
    throw AutomationError("The camera's image is cut short: its FITS data is incomplete");
  }
  stars::Frame frame;
  frame.width = static_cast<int>(size[0]);
  frame.height = static_cast<int>(size[1]);
  frame.pixels.resize(count);
  int anyNull = 0;
  unsigned short nullValue = 0;
  fits_read_img(file, TUSHORT, 1, static_cast<LONGLONG>(count), &nullValue, frame.pixels.data(), &anyNull,
                &status);
  // Values beyond 0..65535 (32-bit or real images) arrive clipped: usable for centroids.
  if (status == NUM_OVERFLOW) status = 0;
  if (status != 0) fail("pixels", status);
  return frame;
}

FitsImage decode(const void* data, std::size_t size) {
  // The last block is completed with zeros (FITS fill) so that no read
  // leaves the buffer.
  std::vector<unsigned char> padded;
  void* memory = const_cast<void*>(data);  // cfitsio wants a writable pointer; READONLY does not write
  std::size_t memorySize = size;
  if (size % kFitsBlock != 0) {
    padded.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
    padded.resize((size / kFitsBlock + 1) * kFitsBlock, 0);
    memory = padded.data();
    memorySize = padded.size();
  }
  fitsfile* raw = nullptr;
  int status = 0;
  if (fits_open_memfile(&raw, "image.fits", READONLY, &memory, &memorySize, 0, nullptr, &status) != 0) {
    fail("open", status);
  }
  FitsFile file(raw);
  FitsImage image;
  image.header = readHeader(file.get());
  image.frame = readPixels(file.get(), size);
  return image;
}

}  // namespace

std::optional<FitsValue> FitsImage::key(const std::string& keyword) const {
  const auto found = header.find(upper(keyword));
  if (found == header.end()) return std::nullopt;
  return found->second;
}

FitsImage readFitsImage(const void* data, std::size_t size) {
  if (data == nullptr || size == 0) throw AutomationError("The camera sent an empty image");
  try {
    return decode(data, size);
  } catch (const AutomationError&) {
    throw;
  } catch (const std::exception& error) {  // no memory for what the header claims, and the like
    throw AutomationError(std::string("The camera's image could not be decoded: ") + error.what());
  }
}

}  // namespace nebulor::camera::indi
