#include "engine/wording.h"

#include "core/address_rebind.h"
#include "core/http_decision.h"

using namespace Qt::StringLiterals;

namespace {
QString certificateText(const QString &host, CertificateProblem problem, const QString &detail)
{
    QString what;
    switch (problem) {
    case CertificateProblem::Revoked:
        what = u"ha sido revocado."_s;
        break;
    case CertificateProblem::Expired:
        what = u"ha caducado."_s;
        break;
    case CertificateProblem::NotYetValid:
        what = u"no es válido todavía."_s;
        break;
    case CertificateProblem::Untrusted:
        what = u"no lo firma una autoridad de confianza."_s;
        break;
    case CertificateProblem::WrongHost:
        what = u"está emitido para otro servidor."_s;
        break;
    case CertificateProblem::Other:
        what = u"no es válido: "_s + detail + u"."_s;
        break;
    }
    return u"El certificado de "_s + host + u' ' + what;
}

// What a final status means, for the ones a user may not know by number.
QString statusMeaning(int status)
{
    switch (status) {
    case 402:
        return u"el servidor exige un pago"_s;
    case 405:
        return u"método no permitido"_s;
    case 407:
        return u"hay que identificarse ante un proxy"_s;
    case 410:
        return u"el archivo ya no existe en el servidor"_s;
    case 414:
        return u"la dirección es demasiado larga para el servidor"_s;
    case 451:
        return u"no disponible por motivos legales"_s;
    case 501:
        return u"el servidor no admite esta clase de petición"_s;
    case 505:
        return u"el servidor no admite esta versión de HTTP"_s;
    case 511:
        return u"la red exige identificarse antes de dar acceso"_s;
    default:
        return {};
    }
}

QString refusedText(const QString &url, const QString &status, int code)
{
    const QString meaning = statusMeaning(code);
    return u"No se puede descargar "_s + url + u": el servidor ha respondido «"_s + status + u"»"_s
           + (meaning.isEmpty() ? QString() : u" ("_s + meaning + u")"_s) + u"."_s;
}

QString busyText(const QString &host, const QString &status, int code)
{
    const QString what =
        code == 408 ? u" ha dejado de esperar la petición"_s : u" ha recibido demasiadas peticiones y pide esperar"_s;
    return u"El servidor de "_s + host + what + u" ("_s + status + u"): se volverá a intentar."_s;
}
} // namespace

QString certificateProblem(const QString &host, const QList<QSslError> &errors)
{
    return certificateText(host, certificateProblemOf(errors),
                           errors.isEmpty() ? QString() : errors.first().errorString());
}

namespace {
QString browserSessionText()
{
    return u"El enlace necesita la sesión del navegador: vuelva a descargarlo desde el navegador."_s;
}

QString expiredText(const QStringList &args)
{
    const auto a = [&args](int n) { return args.value(n); };
    QString why;
    switch (ExpiredCause(a(2).toInt())) {
    case ExpiredCause::OtherSize:
        why = u"el servidor da otro tamaño ("_s + a(3) + u" → "_s + (a(4).isEmpty() ? u"desconocido"_s : a(4))
              + u" bytes)"_s;
        break;
    case ExpiredCause::Page:
        why = u"el servidor envía una página en lugar del archivo"_s;
        break;
    default:
        why = u"el servidor responde «"_s + a(3) + u"»"_s;
        break;
    }
    QString text = u"Se ha detenido la descarga de "_s + a(0) + u": la dirección ya no es válida ("_s + a(1) + u", "_s
                   + why + u"). Lo descargado se conserva; use «Buscar nueva dirección» para continuar con otra."_s;
    if (ExpiredCause(a(2).toInt()) == ExpiredCause::OtherSize)
        text += u" Al reconectar a esta misma dirección empezará desde el principio."_s;
    if (a(5) == u"1"_s)
        text += u' ' + browserSessionText();
    return text;
}

QString refusedText(const QStringList &args)
{
    QString why;
    switch (BindVerdict(args.value(2).toInt())) {
    case BindVerdict::NoAnswer:
        why = u"no ha respondido"_s;
        break;
    case BindVerdict::NoRange:
        why = u"no envía la parte pedida del archivo"_s;
        break;
    case BindVerdict::OtherSize:
        why = u"su archivo tiene otro tamaño"_s;
        break;
    case BindVerdict::OtherValidator:
        why = u"su archivo es otra versión (ETag o fecha distintas)"_s;
        break;
    case BindVerdict::OtherBytes:
        why = u"los últimos bytes descargados no coinciden con los suyos"_s;
        break;
    case BindVerdict::DiskUnreadable:
        why = u"no se han podido leer los bytes ya descargados para compararlos"_s;
        break;
    case BindVerdict::Proven:
        break;
    }
    return u"No se usará la dirección "_s + args.value(1) + u" para "_s + args.value(0) + u": "_s + why
           + u". No se ha cambiado nada en el disco."_s;
}
} // namespace

QString wording(const Message &m)
{
    const auto a = [&m](int k) { return m.args.value(k); };
    using Id = Message::Id;
    switch (m.id) {
    case Id::None:
        return {};
    case Id::FolderNotCreated:
        return u"No se ha podido escribir en "_s + a(0) + u": no se puede crear la carpeta "_s + a(1);
    case Id::TargetIsLink:
        return u"El destino "_s + a(0) + u" es un enlace; no se escribe a través de él."_s;
    case Id::WriteFailed:
        return u"No se ha podido escribir en "_s + a(0) + u": "_s + a(1);
    case Id::TailMismatch:
        return u"Los datos de "_s + a(0) + u" no coinciden con "_s + a(1)
               + u": se descarga de nuevo desde el principio."_s;
    case Id::NotPartOf:
        return u"Los datos de "_s + a(0) + u" no forman parte de "_s + a(1)
               + u": se descarga de nuevo desde el principio."_s;
    case Id::BadAddress:
        return u"Dirección incorrecta: "_s + a(0);
    case Id::BadReply:
        return u"Respuesta incorrecta del servidor "_s + a(0) + u"."_s;
    case Id::Redirected:
        return u"El archivo "_s + a(0) + u" ha sido movido a "_s + a(1) + u".Se reconectará a esa dirección"_s;
    case Id::TooManyRedirects:
        return u"Demasiadas redirecciones seguidas: "_s + a(0) + u" vuelve a redirigir a "_s + a(1) + u"."_s;
    case Id::MovedToUndownloadable:
        return u"El archivo "_s + a(0) + u" ha sido movido a "_s + a(1)
               + u", una dirección que no se puede descargar."_s;
    case Id::RedirectedToBadAddress:
        return u"El servidor ha redirigido "_s + a(0) + u" a una dirección incorrecta."_s;
    case Id::ServerSaid:
        return u"El servidor "_s + a(0) + u" ha respondido: "_s + a(1);
    case Id::BadRequest:
        return u"Error de sintaxis en la petición"_s;
    case Id::AccessDenied:
        return u"Acceso denegado al archivo"_s;
    case Id::BrowserSessionNeeded:
        return browserSessionText();
    case Id::ServerError:
        return u"Error interno del servidor "_s + a(0) + u"."_s;
    case Id::StillPreparing:
        return u"El servidor todavía está preparando "_s + a(0) + u": se volverá a intentar."_s;
    case Id::ServerUnavailable:
        return u"El servidor de "_s + a(0) + u" no está disponible por ahora ("_s + a(1) + u")."_s;
    case Id::ServerBusy:
        return busyText(a(0), a(1), a(2).toInt());
    case Id::ServerRefused:
        return refusedText(a(0), a(1), a(2).toInt());
    case Id::NotTheFile:
        return u"El servidor no ha enviado el archivo "_s + a(0) + u": ha respondido \""_s + a(1) + u"\"."_s;
    case Id::Encoded:
        return u"El servidor ha enviado "_s + a(0) + u" codificado ("_s + a(1) + u"), no el archivo tal cual."_s;
    case Id::FileChanged:
        return u"El archivo "_s + a(0) + u" ha cambiado en el servidor: se descarga de nuevo desde el principio."_s;
    case Id::Certificate:
        return certificateText(a(0), CertificateProblem(a(2).toInt()), a(3)) + u" Se ha detenido la descarga de "_s
               + a(1) + u"."_s;
    case Id::UnencryptedRedirect:
        return u"La descarga de "_s + a(0) + u" sigue en una dirección sin cifrar: "_s + a(1);
    case Id::SizeChanged:
        return u"El archivo "_s + a(0) + u" ha cambiado de tamaño en el servidor ("_s + a(1) + u" → "_s
               + (a(2).isEmpty() ? u"desconocido"_s : a(2))
               + u" bytes). Se ha detenido la descarga; al reconectar empezará desde el principio."_s;
    case Id::ConnectionLost:
        return u"Se ha perdido la conexión con "_s + a(0) + u" . Reconectando..."_s;
    case Id::SocketError:
    case Id::Said:
        return a(0);
    case Id::OtherFileOnConnection:
        return u"Una de las conexiones de "_s + a(0)
               + u" ha recibido otro archivo que la primera. Se ha detenido la descarga; al reconectar empezará "
                 u"desde el principio."_s;
    case Id::FewerConnections:
        return u"El servidor "_s + a(0) + u" no admite más conexiones: la descarga sigue con "_s + a(1) + u"."_s;
    case Id::AddressExpired:
        return expiredText(m.args);
    case Id::RebindProving:
        return u"Comprobando si "_s + a(1) + u" sirve el mismo archivo que "_s + a(0) + u"..."_s;
    case Id::RebindRefused:
        return refusedText(m.args);
    case Id::RebindContinued:
        return u"La dirección "_s + a(1) + u" sirve el mismo archivo: la descarga de "_s + a(0)
               + u" continúa desde el byte "_s + a(2) + u"."_s;
    }
    return {};
}

QString targetTakenText(const QString &file)
{
    return u"No se ha podido agregar el archivo:\r\nEl archivo "_s + file + u" ya es el destino de otra descarga."_s;
}

QString detailsStateText(DownloadState state, StopReason reason)
{
    if (isFinished(state))
        return u"Finalizado"_s;
    if (isReconnecting(state))
        return u"Conectando..."_s;
    if (state != DownloadState::Stopped)
        return waitsForUser(state) ? u"Se han agotado los reintentos"_s : u"Descargando"_s;
    // A stop spent no retries: the row says why it waits.
    switch (reason) {
    case StopReason::AddressExpired:
        return u"La dirección ya no es válida"_s;
    case StopReason::SizeChanged:
        return u"El archivo ha cambiado en el servidor"_s;
    case StopReason::FileFailed:
        return u"No se puede escribir el archivo"_s;
    case StopReason::Refused:
    case StopReason::None:
        break;
    }
    return u"Detenida: el servidor la ha rechazado"_s;
}
