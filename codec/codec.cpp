#include "codec/codec.h"

#include "exiv2codec.h"

#include <cerrno>
#include <cstring>

namespace codec {

CodecFactory defaultCodecFactory() {
    return {[](QStringView progId) -> std::unique_ptr<ICodec> {
        if (progId != QLatin1String(kProgId))
            return nullptr;
        try {
            return std::make_unique<Exiv2Codec>();
        } catch (...) {
            return nullptr;
        }
    }};
}

QString systemErrorText(int error) {
    switch (error) {
    case ENOSPC:
        return QStringLiteral("磁盘空间不足");
    case EDQUOT:
        return QStringLiteral("超出磁盘配额");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有权限");
    case EROFS:
        return QStringLiteral("文件系统只读");
    case ENOENT:
        return QStringLiteral("文件夹不存在");
    case ENOTDIR:
        return QStringLiteral("路径中有同名文件");
    case EEXIST:
        return QStringLiteral("已有同名文件");
    case EISDIR:
        return QStringLiteral("已有同名文件夹");
    case ENAMETOOLONG:
        return QStringLiteral("文件名过长");
    case EFBIG:
        return QStringLiteral("文件过大");
    case EIO:
        return QStringLiteral("读写设备出错");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace codec
