// Paths put together from pieces, never cut.
#include "PathText.h"

#include <cstring>

#include "AnsiText.h"
#include "Settings.h"

void PathText::Append(const char* piece)
{
    size_t n = strlen(piece);
    if (overlong || n >= sizeof text - length) {
        overlong = true;
        return;
    }
    memcpy(text + length, piece, n + 1);
    length += n;
}

int PathText::CopyTo(char* destination, size_t capacity) const
{
    if (capacity == 0)
        return 0;
    if (overlong || length >= capacity) {
        destination[0] = '\0';
        return 0;
    }
    memcpy(destination, text, length + 1);
    return 1;
}

namespace {

void AppendName(PathText* path, const char* name)
{
    path->Append("\\");
    path->Append(name);
}

}  // namespace

bool IsFullPath(const char* path)
{
    if (!path)
        return false;
    unsigned char drive = static_cast<unsigned char>(AnsiFold(static_cast<unsigned char>(path[0])));
    if (drive >= 'a' && drive <= 'z' && path[1] == ':' && path[2] == '\\')
        return true;
    return path[0] == '\\' && path[1] == '\\';
}

ProductSettings::ProductSettings()
{
    company = GetSetting("Company", companyText_, sizeof companyText_) ? companyText_ : nullptr;
    product = GetSetting("Product", productText_, sizeof productText_) ? productText_ : nullptr;
}

void AppendProductNamesOf(PathText* path, ProductNames names, const char* company, const char* product)
{
    switch (names) {
    case ProductNamesCompany:
        if (company)
            AppendName(path, company);
        break;
    case ProductNamesCompanyAndProduct:
        if (company)
            AppendName(path, company);
        if (product)
            AppendName(path, product);
        break;
    case ProductNamesCompanyElseProduct:
        if (company)
            AppendName(path, company);
        else if (product)
            AppendName(path, product);
        break;
    }
}

void AppendProductNames(PathText* path, ProductNames names)
{
    ProductSettings settings;
    AppendProductNamesOf(path, names, settings.company, settings.product);
}

int BuildSharedFilesKeyPath(const char* company, const char* product, char* destination, size_t capacity)
{
    PathText path;
    path.Append("Software");
    AppendProductNamesOf(&path, ProductNamesCompanyElseProduct, company, product);
    path.Append("\\Shared Files");
    return path.CopyTo(destination, capacity);
}

int BuildUninstallEntryPath(const char* company, const char* product, char* destination, size_t capacity)
{
    const char* name = product ? product : company;
    PathText path;
    if (!name || name[0] == '\0') {
        path.overlong = true;   // no name: refused like a path that does not fit
    } else {
        path.Append(UninstallKeyPath);
        AppendName(&path, name);
    }
    return path.CopyTo(destination, capacity);
}

int BuildProductPath(const char* base, ProductNames names, char* destination, size_t capacity)
{
    PathText path;
    path.Append(base ? base : "");
    AppendProductNames(&path, names);
    return path.CopyTo(destination, capacity);
}

bool IsServiceName(const char* name)
{
    if (!name || name[0] == '\0' || strchr(name, '\\'))
        return false;
    return strlen(name) <= ServiceNameLimit;
}

int BuildServiceKeyPath(const char* serviceName, const char* subkey, char* destination, size_t capacity)
{
    PathText path;
    if (!IsServiceName(serviceName)) {
        path.overlong = true;   // refused like a path that does not fit
    } else {
        path.Append("System\\CurrentControlSet\\Services\\");
        path.Append(serviceName);
        if (subkey) {
            path.Append("\\");
            path.Append(subkey);
        }
    }
    return path.CopyTo(destination, capacity);
}

const char* PathFileName(const char* path)
{
    if (!path)
        return nullptr;
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/')
            name = p + 1;
    }
    return name;
}

int BuildDriverImagePath(const char* driverPath, char* destination, size_t capacity)
{
    const char* name = PathFileName(driverPath);
    PathText path;
    if (!name || name[0] == '\0') {
        path.overlong = true;   // a path that names no file gives no image path
    } else {
        path.Append("\\SystemRoot\\System32\\drivers\\");
        path.Append(name);
    }
    return path.CopyTo(destination, capacity);
}

void CutToFolder(char* path)
{
    if (!path)
        return;
    const char* slash = strrchr(path, '\\');
    if (slash && slash != path)
        path[slash - path] = '\0';
    else
        path[0] = '\0';
}
