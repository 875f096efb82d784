// The Turkish sentences put in front of the engines' common English messages.
#include "engine/EngineMessage.h"

namespace cursor {

namespace {

QString sentence(EngineProblem problem) {
    switch (problem) {
    case EngineProblem::FileBusy:
        return QStringLiteral("Veritabanı dosyası şu anda başka bir bilgisayar ya da program "
                              "tarafından kullanılıyor (kilitli). Birkaç saniye bekleyip "
                              "yeniden deneyin.");
    case EngineProblem::FileReadOnly:
        return QStringLiteral("Veritabanı dosyasına yazılamıyor: dosya ya da bulunduğu klasör "
                              "salt okunur, ya da bu kullanıcının yazma izni yok. Dosyanın ve "
                              "klasörün izinlerini denetleyin ya da yöneticinize başvurun.");
    case EngineProblem::FileDiskFull:
        return QStringLiteral("Diskte yer kalmadı; değişiklik saklanmadı. Diskte yer açıp "
                              "yeniden deneyin.");
    case EngineProblem::ServerBusy:
        return QStringLiteral("Veritabanı sunucusu meşgul ya da kayıt başka bir bilgisayarda "
                              "kilitli. Birkaç saniye bekleyip yeniden deneyin.");
    case EngineProblem::ServerReadOnly:
        return QStringLiteral("Veritabanı sunucusu şu anda yalnızca okumaya açık; değişiklik "
                              "saklanmadı. Sunucunun yöneticisine başvurun.");
    case EngineProblem::ServerDiskFull:
        return QStringLiteral("Veritabanı sunucusunun diskinde yer kalmadı; değişiklik "
                              "saklanmadı. Sunucunun yöneticisine başvurun.");
    case EngineProblem::ServerUnreachable:
        return QStringLiteral("Veritabanı sunucusuna bağlanılamadı. Sunucunun açık olduğunu, "
                              "ağ bağlantısını ve Korvela.ini'deki sunucu bilgilerini "
                              "denetleyin.");
    case EngineProblem::ServerPasswordRefused:
        return QStringLiteral("Veritabanı sunucusu parolayı kabul etmedi. Kullanıcı adını ve "
                              ".pgpass dosyasındaki parolayı denetleyin ya da yöneticinize "
                              "başvurun.");
    case EngineProblem::ConnectionLost:
        return QStringLiteral("Veritabanı sunucusuyla bağlantı koptu. Ağ bağlantısını "
                              "denetleyip yeniden deneyin; program yeniden bağlanır.");
    case EngineProblem::SaveNotStored:
        return QStringLiteral("Değişiklik yazılırken veritabanı sunucusuyla bağlantı koptu; "
                              "sunucu değişikliğin saklanmadığını bildirdi. Bağlantı düzelince "
                              "yeniden deneyin.");
    case EngineProblem::SaveUnknown:
        return QStringLiteral("Değişiklik yazılırken veritabanı sunucusuyla bağlantı koptu ve "
                              "saklanıp saklanmadığı öğrenilemedi. Yeniden kaydetmeden önce "
                              "kaydın listede olup olmadığına bakın.");
    }
    return {};
}

} // namespace

QString explainedMessage(EngineProblem problem, const QString& engineText) {
    return sentence(problem) + QStringLiteral(" Ayrıntı: ") + engineText;
}

} // namespace cursor
