#include "package/record_codec.h"

#include "base/bytes.h"

namespace vantu::branding_package {

namespace {

void EncodeRecordHead(unsigned char* out, std::uint64_t size, RecordType type) {
  PutU32(out, static_cast<std::uint32_t>(size));
  PutU32(out + kRecordTypeField, static_cast<std::uint32_t>(type));
}

}  // namespace

void EncodeHeader(unsigned char* out, std::uint32_t packageSize) {
  PutU32(out, packageSize);
  PutU32(out + kHeaderZeroField, 0);
  PutU32(out + kHeaderOneField, 1);
}

PackageHeader DecodeHeader(const unsigned char* in) {
  return {GetU32(in), GetU32(in + kHeaderZeroField), GetU32(in + kHeaderOneField)};
}

RecordHead DecodeRecordHead(const unsigned char* in) {
  return {GetU32(in), GetU32(in + kRecordTypeField)};
}

void EncodeLayoutHead(unsigned char* out, std::uint32_t textLength) {
  EncodeRecordHead(out, LayoutRecordSize(textLength), RecordType::kLayout);
  PutU32(out + kLayoutZeroField, 0);
  PutU32(out + kLayoutTextSizeField, textLength + 1);
}

LayoutHead DecodeLayoutHead(const unsigned char* in) {
  return {GetU32(in + kLayoutZeroField), GetU32(in + kLayoutTextSizeField)};
}

void EncodeImageHead(unsigned char* out, std::uint32_t format, std::uint32_t nameLength,
                     std::uint32_t dataSize) {
  EncodeRecordHead(out, ImageRecordSize(nameLength, dataSize), RecordType::kImage);
  PutU32(out + kImageFormatField, format);
  PutU32(out + kImageZeroField, 0);
  PutU32(out + kImageNameSizeField, nameLength + 1);
  PutU32(out + kImageSecondZeroField, 0);
  PutU32(out + kImageDataSizeField, dataSize);
}

std::uint32_t ImageHeadField(const unsigned char* in, std::size_t field) {
  return GetU32(in + field);
}

void EncodeEndRecord(unsigned char* out) {
  EncodeRecordHead(out, kEndRecordSize, RecordType::kEnd);
}

}  // namespace vantu::branding_package
