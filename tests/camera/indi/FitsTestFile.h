#pragma once

#include <fitsio.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace nebulor::testing {

// Builds a FITS file in memory with cfitsio, as a camera driver would, so
// the decoder is checked against the reference library's own output.
class FitsTestFile {
 public:
  // An image of the given BITPIX; 16-bit data are written unsigned (BZERO 32768).
  FitsTestFile(int bitpix, const std::vector<long>& axes) {
    size_ = 2880;
    buffer_ = std::malloc(size_);
    check(fits_create_memfile(&file_, &buffer_, &size_, 2880, std::realloc, &status_));
    const int type = bitpix == 16 ? USHORT_IMG : bitpix;
    check(fits_create_img(file_, type, static_cast<int>(axes.size()), const_cast<long*>(axes.data()),
                          &status_));
  }
  ~FitsTestFile() {
    if (file_ != nullptr) fits_close_file(file_, &status_);
    std::free(buffer_);
  }
  FitsTestFile(const FitsTestFile&) = delete;
  FitsTestFile& operator=(const FitsTestFile&) = delete;

  FitsTestFile& number(const char* keyword, double value) {
    check(fits_update_key_dbl(file_, keyword, value, 6, "", &status_));
    return *this;
  }
  FitsTestFile& text(const char* keyword, const std::string& value) {
    check(fits_update_key_str(file_, keyword, value.c_str(), "", &status_));
    return *this;
  }
  FitsTestFile& pixels(const std::vector<double>& values) {
    check(fits_write_img(file_, TDOUBLE, 1, static_cast<LONGLONG>(values.size()),
                         const_cast<double*>(values.data()), &status_));
    return *this;
  }

  // The finished file's bytes.
  std::vector<std::uint8_t> bytes() {
    check(fits_flush_file(file_, &status_));
    const auto* begin = static_cast<const std::uint8_t*>(buffer_);
    // The file ends with the data unit, padded to whole 2880-byte blocks.
    LONGLONG header = 0;
    LONGLONG data = 0;
    LONGLONG end = 0;
    check(fits_get_hduaddrll(file_, &header, &data, &end, &status_));
    const auto length = static_cast<std::size_t>((end + 2879) / 2880 * 2880);
    return {begin, begin + length};
  }

 private:
  void check(int status) {
    if (status != 0) {
      char text[FLEN_STATUS] = {};
      fits_get_errstatus(status, text);
      throw std::runtime_error(std::string("cfitsio: ") + text);
    }
  }

  void* buffer_ = nullptr;
  std::size_t size_ = 0;
  fitsfile* file_ = nullptr;
  int status_ = 0;
};

// A FITS file written card by card, for headers no library would write:
// each card is padded to 80 characters, END added, the header and the data
// bytes each filled up to whole 2880-byte blocks.
inline std::vector<std::uint8_t> rawFits(const std::vector<std::string>& cards, std::size_t dataBytes = 0) {
  std::string header;
  for (std::string card : cards) {
    card.resize(80, ' ');
    header += card;
  }
  header += std::string("END").append(77, ' ');
  header.resize((header.size() + 2879) / 2880 * 2880, ' ');
  std::vector<std::uint8_t> bytes(header.begin(), header.end());
  bytes.resize(bytes.size() + (dataBytes + 2879) / 2880 * 2880, 0);
  return bytes;
}

}  // namespace nebulor::testing
