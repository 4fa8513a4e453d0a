// The content type of a file: the text-file rule, then the system's media-type list
// (/etc/mime.types), then the built-in table of 215 extensions.
#include "http/MimeTypes.h"

#include <fstream>
#include <sstream>
#include <unordered_map>

#include "http/ResponseWriter.h"
#include "http/TextFiles.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

struct MimeRow {
    const wchar_t* extension;
    const wchar_t* type;
};

// The built-in table, in its stored order. ".ez," keeps its trailing comma, so no
// file name matches it; ".jpg" gives "image/jpg" while ".jpeg" gives "image/jpeg".
constexpr MimeRow kBuiltinTable[] = {
    {L".mpa", L"audio/mpeg"},
    {L".tr", L"application/x-troff"},
    {L".nws", L"message/rfc822"},
    {L".exc", L"text/plain"},
    {L".ief", L"image/ief"},
    {L".wm", L"video/x-ms-wm"},
    {L".spl", L"application/futuresplash"},
    {L".wma", L"audio/x-ms-wma"},
    {L".p7m", L"application/pkcs7-mime"},
    {L".rpm", L"audio/x-pn-realaudio-plugin"},
    {L".tif", L"image/tiff"},
    {L".spc", L"application/x-pkcs7-certificates"},
    {L".p10", L"application/pkcs10"},
    {L".p7b", L"application/x-pkcs7-certificates"},
    {L".tex", L"image/tex"},
    {L".gz", L"application/x-gzip"},
    {L".csh", L"application/x-csh"},
    {L".xwd", L"image/x-xwindowdump"},
    {L".m3u", L"audio/mpegurl"},
    {L".hqx", L"application/mac-binhex40"},
    {L".tgz", L"application/x-compressed"},
    {L".pnm", L"image/x-portable-anymap"},
    {L".skm", L"application/x-koan"},
    {L".old", L"text/plain"},
    {L".sit", L"application/x-stuffit"},
    {L".cur", L"image/cursor"},
    {L".wsc", L"text/scriptlet"},
    {L".tcl", L"application/x-tcl"},
    {L".ras", L"image/x-cmu-raster"},
    {L".mxu", L"video/vnd.mpegurl"},
    {L".jpeg", L"image/jpeg"},
    {L".jgd", L"image/jgd"},
    {L".ps", L"application/postscript"},
    {L".aip", L"text/x-audiosoft-intra"},
    {L".xpl", L"audio/mpegurl"},
    {L".css", L"text/css"},
    {L".ico", L"image/x-icon"},
    {L".fif", L"application/fractals"},
    {L".sgm", L"text/sgml"},
    {L".dir", L"application/x-director"},
    {L".ms", L"application/x-troff-ms"},
    {L".mp1", L"audio/mpeg"},
    {L".asc", L"text/plain"},
    {L".texi", L"application/x-texinfo"},
    {L".cdf", L"application/x-cdf"},
    {L".xls", L"application/vnd.ms-excel"},
    {L".p7r", L"application/x-pkcs7-certreqresp"},
    {L".mpg", L"video/mpeg"},
    {L".art", L"image/x-jg"},
    {L".stl", L"application/vnd.ms-pki.stl"},
    {L".ppm", L"image/x-portable-pixmap"},
    {L".htm", L"text/html"},
    {L".aim", L"application/x-aim"},
    {L".rmm", L"audio/x-pn-realaudio"},
    {L".snd", L"audio/basic"},
    {L".pdb", L"chemical/x-pdb"},
    {L".man", L"application/x-troff-man"},
    {L".wbmp", L"image/vnd.wap.wbmp"},
    {L".wmlsc", L"application/vnd.wap.wmlscriptc"},
    {L".iii", L"application/x-iphone"},
    {L".ai", L"application/postscript"},
    {L".jbr", L"image/jbr"},
    {L".exe", L"application/x-msdownload"},
    {L".cab", L"application/x-msdownload"},
    {L".raw", L"image/tiff"},
    {L".rtx", L"text/richtext"},
    {L".svgz", L"image/svg-xml"},
    {L".ph", L"text/perl"},
    {L".mif", L"application/vnd.mif"},
    {L".tiff", L"image/tiff"},
    {L".psd", L"image/tiff"},
    {L".ra", L"audio/x-pn-realaudio"},
    {L".pot", L"application/vnd.ms-powerpoint"},
    {L".cpt", L"application/mac-compactpro"},
    {L".doc", L"application/msword"},
    {L".wav", L"audio/wav"},
    {L".mp3", L"audio/mpeg"},
    {L".mht", L"message/rfc822"},
    {L".pdf", L"application/pdf"},
    {L".me", L"application/x-troff-me"},
    {L".mov", L"video/quicktime"},
    {L".shar", L"application/x-shar"},
    {L".pko", L"application/vnd.ms-pki.pko"},
    {L".prf", L"application/pics-rules"},
    {L".zip", L"application/x-zip-compressed"},
    {L".sct", L"text/scriptlet"},
    {L".mpga", L"audio/mpeg"},
    {L".wvx", L"video/x-ms-wvx"},
    {L".dvi", L"application/x-dvi"},
    {L".pm", L"text/perl"},
    {L".js", L"application/x-javascript"},
    {L".ice", L"x-conference/x-cooltalk"},
    {L".p12", L"application/x-pkcs12"},
    {L".tar", L"application/x-tar"},
    {L".wml", L"text/vnd.wap.wml"},
    {L".xsl", L"text/xml"},
    {L".vcf", L"text/x-vcard"},
    {L".mpeg", L"video/mpeg"},
    {L".wmv", L"video/x-ms-wmv"},
    {L".mid", L"audio/mid"},
    {L".au", L"audio/basic"},
    {L".pwz", L"application/vnd.ms-powerpoint"},
    {L".pgn", L"application/x-chess-pgn"},
    {L".oda", L"application/oda"},
    {L".dcr", L"application/x-director"},
    {L".rm", L"audio/x-pn-realaudio"},
    {L".qt", L"video/quicktime"},
    {L".hdf", L"application/x-hdf"},
    {L".pls", L"audio/scpls"},
    {L".eps", L"application/postscript"},
    {L".tsv", L"text/tab-separated-values"},
    {L".dic", L"text/plain"},
    {L".bps", L"application/bulletproof-session-file"},
    {L".as", L"text/plain"},
    {L".rtf", L"application/msword"},
    {L".recent", L"text/plain"},
    {L".svg", L"image/svg-xml"},
    {L".isp", L"application/x-internet-signup"},
    {L".sv4cpio", L"application/x-sv4cpio"},
    {L".lsf", L"video/x-la-asf"},
    {L".rmi", L"audio/mid"},
    {L".asf", L"video/x-ms-asf"},
    {L".pbm", L"image/x-portable-bitmap"},
    {L".jsl", L"image/jsl"},
    {L".wmlc", L"application/vnd.wap.wmlc"},
    {L".xfdf", L"application/vnd.adobe.xfdf"},
    {L".fdf", L"application/vnd.fdf"},
    {L".tub", L"image/tub"},
    {L".xbm", L"image/x-xbitmap"},
    {L".sql", L"text/sql"},
    {L".xpm", L"image/x-xpixmap"},
    {L".m1v", L"video/mpeg"},
    {L".wme", L"text/xml"},
    {L".cer", L"application/pkix-cert"},
    {L".wbxml", L"application/vnd.wap.wbxml"},
    {L".gtar", L"application/x-gtar"},
    {L".z", L"application/x-compress"},
    {L".xyz", L"chemical/x-xyz"},
    {L".ez,", L"application/andrew-inset"},
    {L".ram", L"audio/x-pn-realaudio"},
    {L".txt", L"text/plain"},
    {L".mdef", L"text/perl"},
    {L".cat", L"application/vnd.ms-pki.seccat"},
    {L".pfr", L"image/pfr"},
    {L".aifc", L"audio/aiff"},
    {L".html", L"text/html"},
    {L".midi", L"audio/mid"},
    {L".htt", L"text/webviewhtml"},
    {L".vrml", L"model/vrml"},
    {L".crl", L"application/pkix-crl"},
    {L".bmp", L"image/bmp"},
    {L".jfif", L"image/pjpeg"},
    {L".sv4crc", L"application/x-sv4crc"},
    {L".ppt", L"application/vnd.ms-powerpoint"},
    {L".pl", L"text/plain"},
    {L".jpe", L"image/jpeg"},
    {L".cil", L"application/vnd.ms-artgalry"},
    {L".mmz", L"application/x-mmjb-mmz"},
    {L".dll", L"application/x-msdownload"},
    {L".lsx", L"video/x-la-asf"},
    {L".dot", L"application/msword"},
    {L".hta", L"application/hta"},
    {L".sld", L"image/sld"},
    {L".der", L"application/pkix-cert"},
    {L".pfx", L"application/x-pkcs12"},
    {L".wax", L"audio/x-ms-wax"},
    {L".sst", L"application/vnd.ms-pki.certstore"},
    {L".smi", L"application/smil"},
    {L".mhtml", L"message/rfc822"},
    {L".wiz", L"application/msword"},
    {L".movie", L"video/x-sgi-movie"},
    {L".xml", L"text/xml"},
    {L".wmls", L"text/vnd.wap.wmlscript"},
    {L".sh", L"application/x-sh"},
    {L".mp2v", L"video/mpeg"},
    {L".dxr", L"application/x-director"},
    {L".etx", L"text/x-setext"},
    {L".p7c", L"application/pkcs7-mime"},
    {L".png", L"image/png"},
    {L".src", L"application/x-wais-source"},
    {L".qtl", L"application/x-quicktimeplayer"},
    {L".ppa", L"application/vnd.ms-powerpoint"},
    {L".rgb", L"image/x-rgb"},
    {L".aif", L"audio/aiff"},
    {L".avi", L"video/avi"},
    {L".htc", L"text/x-component"},
    {L".pgm", L"image/x-portable-graymap"},
    {L".pod", L"text/pod"},
    {L".ustar", L"application/x-ustar"},
    {L".dib", L"image/bmp"},
    {L".readme", L"text/plain"},
    {L".asx", L"video/x-ms-asf"},
    {L".latex", L"application/x-latex"},
    {L".vcd", L"application/x-cdlink"},
    {L".aiff", L"audio/aiff"},
    {L".mpv2", L"video/mpeg"},
    {L".jpg", L"image/jpg"},
    {L".ivf", L"video/x-ivf"},
    {L".bcpio", L"application/x-bcpio"},
    {L".log", L"text/plain"},
    {L".pal", L"image/pal"},
    {L".ses", L"text/plain"},
    {L".pps", L"application/vnd.ms-powerpoint"},
    {L".silo", L"model/mesh"},
    {L".p7s", L"application/pkcs7-signature"},
    {L".mp2", L"audio/mpeg"},
    {L".swf", L"application/x-shockwave-flash"},
    {L".ins", L"application/x-internet-signup"},
    {L".iges", L"model/iges"},
    {L".mpe", L"video/mpeg"},
    {L".sub", L"text/perl"},
    {L".crt", L"application/pkix-cert"},
    {L".gif", L"image/gif"},
    {L".mdb", L"application/msaccess"},
    {L".cpio", L"application/x-cpio"},
};

static_assert(sizeof kBuiltinTable / sizeof kBuiltinTable[0] == 215);

std::unordered_map<std::string, std::string> ReadSystemTypes(const std::string& path) {
    std::unordered_map<std::string, std::string> types;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string type, extension;
        if (!(fields >> type)) continue;
        while (fields >> extension) {
            // The first mention of an extension wins, as a lookup of it would find.
            // Built by appending: GCC 12 at -O3 warns falsely about "." + string.
            std::string key = ".";
            key += AsciiLowerCase(extension);
            types.emplace(std::move(key), type);
        }
    }
    return types;
}

std::string systemTypesPath = "/etc/mime.types";
std::optional<std::unordered_map<std::string, std::string>> systemTypes;

// Read once, on the server thread, the first time a type is asked for.
const std::unordered_map<std::string, std::string>& SystemTypes() {
    if (!systemTypes) systemTypes = ReadSystemTypes(systemTypesPath);
    return *systemTypes;
}

}  // namespace

void SetSystemMimeTypesFile(const std::string& path) {
    systemTypesPath = path;
    systemTypes.reset();
}

std::optional<std::wstring> ContentTypeFor(std::wstring_view filePath) {
    if (IsTextFileName(filePath)) return L"text/html";
    size_t dot = filePath.rfind(L'.');
    std::wstring extension(dot == std::wstring_view::npos ? filePath : filePath.substr(dot));
    const auto& system = SystemTypes();
    auto it = system.find(WideToAnsi(AsciiLowerCase(extension)));
    if (it != system.end()) return AnsiToWide(it->second);
    for (const MimeRow& row : kBuiltinTable) {
        if (EqualsIgnoringAsciiCase(extension, row.extension)) return std::wstring(row.type);
    }
    return std::nullopt;
}

void WriteContentType(CRequest& request) {
    if (auto type = ContentTypeFor(request.filePath)) WriteHeader(request, L"Content-Type", *type);
}

}  // namespace tarnhollow
