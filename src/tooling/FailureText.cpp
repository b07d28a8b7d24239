#include "tooling/FailureText.h"

#include "model/LumarientError.h"
#include "tooling/ShellError.h"

namespace lumarient {

QString failureText(const std::exception_ptr &failure)
{
    if (!failure)
        return {};
    try {
        std::rethrow_exception(failure);
    } catch (const LumarientError &error) {
        return error.description();
    } catch (const ShellError &error) {
        return error.description();
    } catch (const std::exception &error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

} // namespace lumarient
