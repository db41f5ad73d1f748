#pragma once

// The numbers file formats give their markers, value types and tags, under
// the names Exiv2 gives them (jpgimage.cpp's markers, types.hpp's TypeId,
// the tag names of its EXIF tables), so a reader can look any of them up.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace shotdate {

namespace jpeg_marker {
inline constexpr std::uint8_t tem = 0x01;
inline constexpr std::uint8_t dht = 0xC4;
inline constexpr std::uint8_t rst0 = 0xD0;
inline constexpr std::uint8_t rst7 = 0xD7;
inline constexpr std::uint8_t soi = 0xD8;
inline constexpr std::uint8_t eoi = 0xD9;
inline constexpr std::uint8_t sos = 0xDA;
inline constexpr std::uint8_t dqt = 0xDB;
inline constexpr std::uint8_t dri = 0xDD;
inline constexpr std::uint8_t app0 = 0xE0;
inline constexpr std::uint8_t app1 = 0xE1;
inline constexpr std::uint8_t app2 = 0xE2;
inline constexpr std::uint8_t app13 = 0xED;
inline constexpr std::uint8_t app15 = 0xEF;
inline constexpr std::uint8_t com = 0xFE;
inline constexpr std::uint8_t fill = 0xFF; // also the byte every marker starts with
} // namespace jpeg_marker

// TIFF value types.
// Whether a TIFF header says big-endian ("MM") or little-endian ("II");
// nullopt for anything else.
inline std::optional<bool> tiffIsBigEndian(std::span<const std::uint8_t> header)
{
    if (header.size() >= 2 && header[0] == 'I' && header[1] == 'I')
        return false;
    if (header.size() >= 2 && header[0] == 'M' && header[1] == 'M')
        return true;
    return std::nullopt;
}

namespace tiff_type {
inline constexpr std::uint16_t unsignedByte = 1;
inline constexpr std::uint16_t asciiString = 2;
inline constexpr std::uint16_t unsignedShort = 3;
inline constexpr std::uint16_t unsignedLong = 4;
inline constexpr std::uint16_t unsignedRational = 5;
inline constexpr std::uint16_t signedByte = 6;
inline constexpr std::uint16_t undefined = 7;
inline constexpr std::uint16_t signedShort = 8;
inline constexpr std::uint16_t signedLong = 9;
inline constexpr std::uint16_t signedRational = 10;
inline constexpr std::uint16_t tiffFloat = 11;
inline constexpr std::uint16_t tiffDouble = 12;
inline constexpr std::uint16_t tiffIfd = 13;
} // namespace tiff_type

// TIFF and EXIF tags the engine reads.
namespace tiff_tag {
inline constexpr std::uint16_t stripOffsets = 0x0111;
inline constexpr std::uint16_t stripByteCounts = 0x0117;
inline constexpr std::uint16_t tileOffsets = 0x0144;
inline constexpr std::uint16_t tileByteCounts = 0x0145;
inline constexpr std::uint16_t subIFDs = 0x014A;
inline constexpr std::uint16_t jpegInterchangeFormat = 0x0201;
inline constexpr std::uint16_t jpegInterchangeFormatLength = 0x0202;
inline constexpr std::uint16_t exifTag = 0x8769;
inline constexpr std::uint16_t dateTimeOriginal = 0x9003;
inline constexpr std::uint16_t dateTimeDigitized = 0x9004;
inline constexpr std::uint16_t modifyDate = 0x0132;
inline constexpr std::uint16_t offsetTime = 0x9010;
inline constexpr std::uint16_t offsetTimeOriginal = 0x9011;
inline constexpr std::uint16_t offsetTimeDigitized = 0x9012;
} // namespace tiff_tag

// Every constant above once, by family, so a test can catch two names
// given the same number.
struct NamedConstant {
    std::string_view family;
    std::string_view name;
    std::uint32_t value;
};

inline constexpr NamedConstant kFormatConstants[] = {
    {"jpeg_marker", "tem", jpeg_marker::tem},
    {"jpeg_marker", "dht", jpeg_marker::dht},
    {"jpeg_marker", "rst0", jpeg_marker::rst0},
    {"jpeg_marker", "rst7", jpeg_marker::rst7},
    {"jpeg_marker", "soi", jpeg_marker::soi},
    {"jpeg_marker", "eoi", jpeg_marker::eoi},
    {"jpeg_marker", "sos", jpeg_marker::sos},
    {"jpeg_marker", "dqt", jpeg_marker::dqt},
    {"jpeg_marker", "dri", jpeg_marker::dri},
    {"jpeg_marker", "app0", jpeg_marker::app0},
    {"jpeg_marker", "app1", jpeg_marker::app1},
    {"jpeg_marker", "app2", jpeg_marker::app2},
    {"jpeg_marker", "app13", jpeg_marker::app13},
    {"jpeg_marker", "app15", jpeg_marker::app15},
    {"jpeg_marker", "com", jpeg_marker::com},
    {"jpeg_marker", "fill", jpeg_marker::fill},
    {"tiff_type", "unsignedByte", tiff_type::unsignedByte},
    {"tiff_type", "asciiString", tiff_type::asciiString},
    {"tiff_type", "unsignedShort", tiff_type::unsignedShort},
    {"tiff_type", "unsignedLong", tiff_type::unsignedLong},
    {"tiff_type", "unsignedRational", tiff_type::unsignedRational},
    {"tiff_type", "signedByte", tiff_type::signedByte},
    {"tiff_type", "undefined", tiff_type::undefined},
    {"tiff_type", "signedShort", tiff_type::signedShort},
    {"tiff_type", "signedLong", tiff_type::signedLong},
    {"tiff_type", "signedRational", tiff_type::signedRational},
    {"tiff_type", "tiffFloat", tiff_type::tiffFloat},
    {"tiff_type", "tiffDouble", tiff_type::tiffDouble},
    {"tiff_type", "tiffIfd", tiff_type::tiffIfd},
    {"tiff_tag", "stripOffsets", tiff_tag::stripOffsets},
    {"tiff_tag", "stripByteCounts", tiff_tag::stripByteCounts},
    {"tiff_tag", "tileOffsets", tiff_tag::tileOffsets},
    {"tiff_tag", "tileByteCounts", tiff_tag::tileByteCounts},
    {"tiff_tag", "subIFDs", tiff_tag::subIFDs},
    {"tiff_tag", "jpegInterchangeFormat", tiff_tag::jpegInterchangeFormat},
    {"tiff_tag", "jpegInterchangeFormatLength", tiff_tag::jpegInterchangeFormatLength},
    {"tiff_tag", "exifTag", tiff_tag::exifTag},
    {"tiff_tag", "dateTimeOriginal", tiff_tag::dateTimeOriginal},
    {"tiff_tag", "dateTimeDigitized", tiff_tag::dateTimeDigitized},
    {"tiff_tag", "modifyDate", tiff_tag::modifyDate},
    {"tiff_tag", "offsetTime", tiff_tag::offsetTime},
    {"tiff_tag", "offsetTimeOriginal", tiff_tag::offsetTimeOriginal},
    {"tiff_tag", "offsetTimeDigitized", tiff_tag::offsetTimeDigitized},
};

} // namespace shotdate
