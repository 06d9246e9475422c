#include "framework/uErrors.h"

EPvError::EPvError(QString message) : FMessage(std::move(message)), FUtf8(FMessage.toUtf8()) {}

QString ExceptionMessage(const std::exception& e)
{
    if (auto* pv = dynamic_cast<const EPvError*>(&e))
        return pv->Message();
    return QString::fromUtf8(e.what());
}
