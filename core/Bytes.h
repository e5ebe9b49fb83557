// Big-endian load/store helpers: every multi-byte integer that leaves the
// process or lives in a store file goes through these, whatever the machine.
#pragma once
#include <cstdint>
#include <cstring>

inline uint32_t Bytes_Get32(const void *p)
{
    const unsigned char *b = static_cast<const unsigned char *>(p);
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
}

inline int32_t Bytes_GetS32(const void *p)
{
    return static_cast<int32_t>(Bytes_Get32(p));
}

inline uint16_t Bytes_Get16(const void *p)
{
    const unsigned char *b = static_cast<const unsigned char *>(p);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

inline void Bytes_Put32(void *p, uint32_t v)
{
    unsigned char *b = static_cast<unsigned char *>(p);
    b[0] = static_cast<unsigned char>(v >> 24);
    b[1] = static_cast<unsigned char>(v >> 16);
    b[2] = static_cast<unsigned char>(v >> 8);
    b[3] = static_cast<unsigned char>(v);
}

inline void Bytes_PutS32(void *p, int32_t v)
{
    Bytes_Put32(p, static_cast<uint32_t>(v));
}

inline void Bytes_Put16(void *p, uint16_t v)
{
    unsigned char *b = static_cast<unsigned char *>(p);
    b[0] = static_cast<unsigned char>(v >> 8);
    b[1] = static_cast<unsigned char>(v);
}

// Field access at a byte offset of a record (header, plane record, message).
inline int32_t Bytes_Field(const void *record, int offset)
{
    return Bytes_GetS32(static_cast<const unsigned char *>(record) + offset);
}

inline void Bytes_SetField(void *record, int offset, int32_t v)
{
    Bytes_PutS32(static_cast<unsigned char *>(record) + offset, v);
}
