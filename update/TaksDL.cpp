#include "update/TaksDL.h"

#include <QCoreApplication>
#include <QDateTime>
#include <cmath>

#include "platform/Text.h"

namespace {

QString kiloBytes(std::int64_t bytes) {
    return QString::fromStdString(
        text::PlainNumber(text::RoundHalfEven(static_cast<double>(bytes) / 1024, 2)));
}

}  // namespace

QString connectingText(std::int64_t total) {
    return QStringLiteral("正在检查文件下载相关信息中...连接中") + kiloBytes(total) + "kb";
}

QString progressText(std::int64_t bytes, std::int64_t total) {
    return QStringLiteral("文件正在下载中...") + kiloBytes(bytes) + "kb/" + kiloBytes(total) + "kb";
}

double progressFraction(std::int64_t bytes, std::int64_t total) {
    if (total <= 0) return 0;
    return text::RoundHalfEven(static_cast<double>(bytes) / static_cast<double>(total), 4);
}

TaksDL::TaksDL(DownloadView* view, EngineOptions options, QObject* parent)
    : QObject(parent), m_view(view), m_options(std::move(options)) {
    if (!m_options.clock)
        m_options.clock = [] { return QDateTime::currentMSecsSinceEpoch() / 1000.0; };
    if (!m_options.pump) m_options.pump = [] { QCoreApplication::processEvents(); };
}

std::optional<bool> TaksDL::StartTheStinkinDownLoad(const QString& File2DownLoad,
                                                    const QString& File2Save) {
    if (m_binding) return std::nullopt;
    return UrlDownloadToFile(File2DownLoad, File2Save, this, m_options.limits) == urlcode::kOk;
}

void TaksDL::KillTak() {
    if (m_binding) m_binding->Abort();
    emit TakDLCancelled();
    m_binding = nullptr;
}

int TaksDL::DeleteTakCache(const QString&) {
    setLabel(QStringLiteral("正在检查文件下载相关信息中...删除缓存文件"));
    return 0;
}

void TaksDL::OnStartBinding(Binding& binding) {
    m_binding = &binding;
    m_partialFile = binding.partialFile();
    emit TakDLStart();
}

void TaksDL::OnProgress(std::int64_t bytes, std::int64_t total) {
    if (total <= 0) {
        setLabel(connectingText(total));
        // Data that arrives without an announced size is no connect phase: only a transfer that
        // has received nothing yet is timed.
        if (bytes <= 0) {
            const double now = m_options.clock();
            if (!TimeOutCur) {
                TimeOutCur = now;
            } else if (std::floor(now) - std::floor(*TimeOutCur) > m_options.connectSeconds) {
                if (m_view) m_view->EchoCancelRequest();
            }
        }
    } else {
        emit TakDLProg(bytes, total);
        if (m_view) m_view->setProgress(progressFraction(bytes, total));
        setLabel(progressText(bytes, total));
    }
    m_options.pump();
}

void TaksDL::OnStopBinding(std::int32_t code) {
    if (code == urlcode::kCompleted) {
        emit TakDLDone();
    } else {
        const bool cancelled = m_binding == nullptr;
        emit TakDLCrash(code, BindErrorText(code), cancelled);
    }
    m_binding = nullptr;
    m_partialFile.clear();
}

void TaksDL::setLabel(const QString& text) {
    if (m_view) m_view->setStatusText(text);
}

QString TaksDL::BindErrorText(std::int32_t code) {
    switch (static_cast<std::uint32_t>(code)) {
        case 0x800C0002:
            return QStringLiteral("非法Url地址！");
        case 0x800C0003:
            return QStringLiteral("无会话！");
        case 0x800C0004:
            return QStringLiteral("无法连接！");
        case 0x800C0005:
            return QStringLiteral("资源不存在！");
        case 0x800C0006:
            return QStringLiteral("文件未找到！");
        case 0x800C0007:
            return QStringLiteral("文件不存在！");
        case 0x800C0008:
            return QStringLiteral("下载失败！");
        case 0x800C0009:
            return QStringLiteral("认证失败！");
        case 0x800C000A:
            return QStringLiteral("无合法媒介！");
        case 0x800C000B:
            return QStringLiteral("连接超时");
        case 0x800C000C:
            return QStringLiteral("非法请求！");
        case 0x800C000D:
            return QStringLiteral("未知的数据传输协议！");
        case 0x800C000E:
            return QStringLiteral("密码有误！");
        case 0x800C000F:
            return QStringLiteral("无法加载数据！");
        case 0x800C0010:
            return QStringLiteral("无法初始化对象！");
        case 0x800C0011:
            return QStringLiteral("默认动作！");
        case 0x800C0013:
            return QStringLiteral("未知操作动作和请求！");
        case 0x800C0014:
            return QStringLiteral("重新定向失败！");
        case 0x800C0015:
            return QStringLiteral("切换到指定目录！");
        case 0x800C0016:
            return QStringLiteral("无法锁定请求！");
        case 0x800C0100:
            return QStringLiteral("拒绝下载！");
        case 0x800C0200:
            return QStringLiteral("结果换取中！");
        case 0x800C0300:
            return QStringLiteral("无法替换SFP文件！");
        default:
            return QStringLiteral("未知错误，或用户取消，或者超时！");
    }
}
