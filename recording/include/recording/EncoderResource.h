// The MP3 encoder program that travels inside the application: a resource
// of type "CUSTOM" with identifier 101, compiled into the recording library
// from the build machine's LAME command-line encoder.
//
// Thread: any (the resource is read-only data).
#pragma once

#include <QByteArray>
#include <QString>

namespace lentaro::recording {

inline constexpr const char* kEncoderResourceType = "CUSTOM";
inline constexpr int kEncoderResourceId = 101;

// The resource's Qt path, ":/CUSTOM/101".
QString EncoderResourcePath();

// The whole program file. Throws lentaro::Failure when the resource is not
// in the application (a build without it).
QByteArray LoadEncoderResource();

}  // namespace lentaro::recording
