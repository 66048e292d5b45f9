#include "recording/EncoderResource.h"

#include <QFile>
#include <string>

#include "shell/ErrorTrap.h"

namespace lentaro::recording {

QString EncoderResourcePath() {
  return QStringLiteral(":/") + QLatin1String(kEncoderResourceType) + QLatin1Char('/') +
         QString::number(kEncoderResourceId);
}

QByteArray LoadEncoderResource() {
  const std::string id = "Resource with identifier '" + std::to_string(kEncoderResourceId) + "'";
  QFile resource(EncoderResourcePath());
  if (!resource.open(QIODevice::ReadOnly)) throw Failure(id + " not found");
  QByteArray bytes = resource.readAll();
  if (bytes.isEmpty()) throw Failure(id + " is empty");
  return bytes;
}

}  // namespace lentaro::recording
