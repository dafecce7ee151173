#include "FakeWeb.h"

#include <httplib.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <thread>

#include "tests/fakeweb/FakePictures.h"

namespace norvo::test {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kStandardWidths[] = {20, 40, 60, 120, 250, 330, 500, 960, 1280, 1920, 3840};

// A file on the fake Commons (or, with onCommons false, on a wiki of its own).
struct File {
    std::string name;  // "Ada Example 2019.jpg"
    std::string mime = "image/jpeg";
    std::string picture = "hopper";  // hopper, astronaut, hopper-mirrored, blank, html, huge, moved
    std::string artist{};
    std::string license = "CC BY-SA 4.0";
    std::string licenseUrl = "https://creativecommons.org/licenses/by-sa/4.0";
    bool attribution = true;
    bool nonFree = false;
    bool noLicence = false;
    std::string restrictions{};  // the Restrictions field, "" for none
    bool nominated = false;      // nominated for deletion (DeletionReason)
};

struct Page {
    std::string lang, title, image, item;
    bool disambiguation = false;
    int id = 0;
    // The lead image's thumbnail: the wiki bounds its longer side, so a portrait's width is
    // whatever that gives.
    int thumbWidth = 500, thumbHeight = 586;
    int originalWidth = 3000;
};

struct Item {
    std::vector<std::string> images;
    std::string category;
    bool human = true;
    std::string label{};                                // the same in every language
    std::map<std::string, std::string> descriptions{};  // by language
};

std::string Underscored(std::string s) {
    std::replace(s.begin(), s.end(), ' ', '_');
    return s;
}

std::string Spaced(std::string s) {
    std::replace(s.begin(), s.end(), '_', ' ');
    return s;
}

// The wiki's own title normalisation: '_' and U+3000 to spaces, first letter upper-case.
std::string Normalised(std::string title) {
    for (std::size_t at; (at = title.find("\xE3\x80\x80")) != std::string::npos;)
        title.replace(at, 3, " ");
    title = Spaced(title);
    if (!title.empty() && title[0] >= 'a' && title[0] <= 'z')
        title[0] = static_cast<char>(title[0] - 'a' + 'A');
    return title;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

std::string Encoded(const std::string& path) {
    std::string out;
    for (const char c : Underscored(path)) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || c == ' ') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

// formatversion=1: pages keyed by id (missing ones by negative ids), flags as "".
Json FormatVersion1(Json pages) {
    Json byId = Json::object();
    int missing = 0;
    for (Json& page : pages) {
        for (auto& [key, value] : page.items()) {
            if (value.is_boolean() && value.get<bool>())
                value = "";
        }
        for (auto it = page.begin(); it != page.end();) {
            it = it.value().is_boolean() ? page.erase(it) : std::next(it);
        }
        const std::string id = page.contains("pageid") ? std::to_string(page["pageid"].get<int>())
                                                       : std::to_string(--missing);
        byId[id] = page;
    }
    return byId;
}

}  // namespace

struct FakeWeb::Impl {
    FakeWeb& owner;
    httplib::Server server;
    std::thread thread;
    int port = 0;
    FakePictures photographs;
    std::map<std::string, File> files;  // by name
    std::vector<Page> pages;
    std::map<std::string, Item> items;                           // by Q id
    std::map<std::string, std::vector<std::string>> categories;  // name -> files
    std::map<std::string, std::vector<std::string>> depicts;     // Q id -> files
    std::map<std::string, std::vector<std::string>> searches;    // "lang:text" -> titles
    std::map<std::string, std::string> redirects;                // "lang:title" -> title
    mutable std::mutex mutex;
    std::vector<Request> log;
    std::map<std::string, std::string> pictureBytes;  // "kind:width" -> JPEG
    std::atomic<int> apiNow{0}, picturesNow{0};

    Impl(FakeWeb& o, const std::filesystem::path& gallery) : owner(o), photographs(gallery) {
        World();
    }

    void World() {
        auto file = [&](File f) { files[f.name] = f; };
        file({.name = "Ada Example 2019.jpg",
              .artist = "<a href=\"//commons.wikimedia.org/wiki/User:Foo\">Foo &amp; Bar</a>"});
        file({.name = "Ada Example portrait.png",
              .mime = "image/png",
              .picture = "astronaut",
              .artist = "NASA",
              .license = "Public domain",
              .licenseUrl = "",
              .attribution = false});
        file({.name = "Ada Example logo.svg", .mime = "image/svg+xml"});
        file({.name = "Ada Example scan.tif", .mime = "image/tiff"});
        file({.name = "Ada Example poster.jpg", .nonFree = true});
        file({.name = "Ada Example crowd.jpg", .picture = "blank", .noLicence = true});
        file({.name = "Ada Example page.jpg", .picture = "html"});
        file({.name = "Ada Example huge.jpg", .picture = "huge"});
        file({.name = "Ada Example moved.jpg", .picture = "moved"});
        file({.name = "Ada Example mirrored.jpg", .picture = "hopper-mirrored"});
        file({.name = "Yamada Hanako.jpg", .picture = "astronaut"});
        file({.name = "Yamada Hanako crowd.jpg", .picture = "blank"});
        file({.name = "Freddie Example.jpg", .picture = "astronaut"});
        // Two people of one name: the senator's portraits warn of personality rights, one
        // of them also of a trademark; one is up for deletion.
        file({.name = "Tim Example senator.jpg", .restrictions = "personality"});
        file({.name = "Tim Example rally.jpg",
              .picture = "hopper-mirrored",
              .restrictions = "personality|trademarked"});
        file({.name = "Tim Example gone.jpg", .picture = "hopper-mirrored", .nominated = true});
        // The footballer's files are named by Wikidata under titles Commons normalises
        // (lower-case first letter) or redirects.
        file({.name = "\xC3\x89"
                      "douard Tim Example.jpg",
              .picture = "astronaut"});  // Édouard
        file({.name = "Tim Example kick.jpg", .picture = "hopper-mirrored"});

        pages = {{"en", "Ada Example", "Ada_Example_2019.jpg", "Q1001"},
                 {"ja", "\xE5\xB1\xB1\xE7\x94\xB0\xE8\x8A\xB1\xE5\xAD\x90", "Yamada_Hanako.jpg",
                  "Q2002"},  // 山田花子
                 {"en", "Mercury", "", "Q1", true},
                 {"en", "Mercury (planet)", "", "Q308"},
                 {"en", "Freddie Example", "Freddie_Example.jpg", "Q3003"},
                 {"en", "Plain Page", "", "Q4004"},
                 {"en", "Local Lead", "Local_Lead.jpg", "Q5005"},
                 {"en", "Tim Example", "", "Q7000", true},
                 {"en", "Tim Example (politician)", "Tim_Example_senator.jpg", "Q7001"},
                 {"en", "Tim Example (ship)", "", "Q7003"},
                 {"en", "Tim Example (footballer)", "", "Q7002"},
                 {"en", "Local Portrait", "Local_Portrait.jpg", "Q5006", false, 0, 207, 240, 1035}};
        for (std::size_t i = 0; i < pages.size(); ++i) pages[i].id = 4242 + static_cast<int>(i);
        redirects["en:Ada example"] = "Ada Example";
        items["Q1001"] = {{"Ada Example portrait.png"}, "Ada Example"};
        items["Q2002"] = {};
        items["Q308"] = {{}, "", false};
        items["Q3003"] = {};
        items["Q4004"] = {};
        items["Q5005"] = {};
        items["Q5006"] = {};
        items["Q1001"].label = "Ada Example";
        items["Q1001"].descriptions = {{"en", "Example mathematician"}};
        items["Q2002"].label = "\xE5\xB1\xB1\xE7\x94\xB0\xE8\x8A\xB1\xE5\xAD\x90";
        items["Q2002"].descriptions = {
            {"en", "Japanese example"},
            {"ja", "\xE6\x97\xA5\xE6\x9C\xAC\xE3\x81\xAE\xE4\xBE\x8B"}};  // 日本の例
        items["Q7001"] = {{"Tim Example senator.jpg"},
                          "",
                          true,
                          "Tim Example",
                          {{"en", "United States Senator from Example (born 1965)"}}};
        items["Q7002"] = {{"\xC3\xA9"
                           "douard Tim Example.jpg",
                           "Tim Example 2010.jpg"},
                          "",
                          true,
                          "Tim Example",
                          {{"en", "English footballer (born 1990)"}}};
        items["Q7003"] = {{}, "", false, "Tim Example", {{"en", "ship"}}};
        depicts["Q7001"] = {"Tim Example rally.jpg", "Tim Example gone.jpg"};
        depicts["Q7002"] = {"Tim Example kick.jpg"};
        searches["en:Tim Example"] = {"Tim Example (politician)", "Tim Example (ship)",
                                      "Tim Example (footballer)", "Tim Example"};
        redirects["commons:File:Tim Example 2010.jpg"] = "File:Tim Example kick.jpg";
        categories["Ada Example"] = {"Ada Example 2019.jpg",   "Ada Example portrait.png",
                                     "Ada Example logo.svg",   "Ada Example scan.tif",
                                     "Ada Example poster.jpg", "Ada Example crowd.jpg",
                                     "Ada Example page.jpg",   "Ada Example huge.jpg",
                                     "Ada Example moved.jpg",  "Ada Example mirrored.jpg"};
        depicts["Q2002"] = {"Yamada Hanako crowd.jpg", "Yamada Hanako.jpg"};
        searches["en:Mercury"] = {"Mercury (planet)", "Freddie Example", "Mercury"};
    }

    const Page* FindPage(const std::string& lang, const std::string& title) const {
        for (const Page& p : pages) {
            if (p.lang == lang && p.title == title)
                return &p;
        }
        return nullptr;
    }

    std::string UploadBase(const std::string& wiki) const {
        return owner.Base() + "/upload/wikipedia/" + wiki + "/";
    }

    Json PageJson(const Page& p) const {
        Json j = {{"pageid", p.id},
                  {"ns", 0},
                  {"title", p.title},
                  {"fullurl", owner.Base() + "/" + p.lang + "/wiki/" + Encoded(p.title)}};
        if (!p.image.empty()) {
            const std::string wiki = files.count(Spaced(p.image)) ? "commons" : p.lang;
            j["thumbnail"] = {
                {"source", UploadBase(wiki) + "thumb/a/ab/" + Encoded(p.image) + "/" +
                               std::to_string(p.thumbWidth) + "px-" + Encoded(p.image)},
                {"width", p.thumbWidth},
                {"height", p.thumbHeight}};
            j["original"] = {{"source", UploadBase(wiki) + "a/ab/" + Encoded(p.image)},
                             {"width", p.originalWidth},
                             {"height", p.originalWidth * p.thumbHeight / p.thumbWidth}};
            j["pageimage"] = p.image;
        }
        Json props = {{"wikibase_item", p.item}};
        if (p.disambiguation)
            props["disambiguation"] = "";
        j["pageprops"] = props;
        return j;
    }

    Json FileJson(const std::string& name, int width, int index) const {
        Json page = {{"ns", 6}, {"title", "File:" + name}};
        const auto it = files.find(name);
        if (it == files.end()) {
            page["missing"] = true;
            page["known"] = false;
            return page;
        }
        const File& f = it->second;
        page["pageid"] = 9000 + static_cast<int>(std::distance(files.begin(), it));
        if (index > 0)
            page["index"] = index;
        const std::string original = UploadBase("commons") + "a/ab/" + Encoded(name);
        Json info = {{"size", f.picture == "huge" ? 30'000'000 : 2'345'678},
                     {"width", 3000},
                     {"height", 3516}};
        if (width > 0) {
            info["thumburl"] = width >= 3000
                                   ? original
                                   : UploadBase("commons") + "thumb/a/ab/" + Encoded(name) + "/" +
                                         std::to_string(width) + "px-" + Encoded(name);
            info["thumbwidth"] = std::min(width, 3000);
            info["thumbheight"] = std::min(width, 3000) * 3516 / 3000;
        }
        info["url"] = original;
        info["descriptionurl"] = owner.Base() + "/commons/wiki/File:" + Encoded(name);
        info["mime"] = f.mime;
        Json meta = Json::object();
        auto field = [&](const char* key, const std::string& value) {
            meta[key] = {{"value", value}, {"source", "commons-desc-page"}};
        };
        if (!f.noLicence) {
            field("LicenseShortName", f.license);
            if (!f.licenseUrl.empty())
                field("LicenseUrl", f.licenseUrl);
            field("AttributionRequired", f.attribution ? "true" : "false");
        }
        if (!f.artist.empty())
            field("Artist", f.artist);
        if (f.nonFree)
            field("NonFree", "true");
        if (!f.restrictions.empty())
            field("Restrictions", f.restrictions);
        if (f.nominated)
            field("DeletionReason", "Copyright violation");
        info["extmetadata"] = meta;
        page["imageinfo"] = Json::array({info});
        return page;
    }

    // Answers one request to Wikipedia ("wikipedia:LANG"), Wikidata or Commons.
    void Api(const std::string& service, const httplib::Request& req, httplib::Response& res) {
        if (owner.apiError || owner.maxlag) {
            const std::string code = owner.maxlag ? "maxlag" : "badvalue";
            res.set_header("MediaWiki-API-Error", code);
            if (owner.maxlag) {
                res.set_header("Retry-After", "7");
                res.set_header("X-Database-Lag", "7");
            }
            const Json error = {{"error", {{"code", code}, {"info", "refused"}, {"docref", "see"}}},
                                {"servedby", "mw-fake"}};
            res.set_content(error.dump(), "application/json; charset=utf-8");
            return;
        }
        const bool v2 = req.get_param_value("formatversion") == "2";
        Json answer = {{"batchcomplete", true}};
        Json query = Json::object();
        Json list = Json::array();
        const int width =
            req.has_param("iiurlwidth") ? std::stoi(req.get_param_value("iiurlwidth")) : 0;
        if (service == "wikidata") {
            Json entities = Json::object();
            for (const std::string& id : Split(req.get_param_value("ids"), '|')) {
                const auto it = items.find(id);
                if (it == items.end()) {
                    entities[id] = {{"id", id}, {"missing", ""}};
                    continue;
                }
                auto statement = [](const std::string& property, Json value, const char* rank) {
                    return Json{{"mainsnak",
                                 {{"snaktype", "value"},
                                  {"property", property},
                                  {"datavalue", {{"value", value}}}}},
                                {"type", "statement"},
                                {"rank", rank}};
                };
                // Json::array, not braces: a braced single json is copied by some compilers
                // (clang) and wrapped in an array by others.
                Json claims = Json::object();
                claims["P31"] = Json::array({statement(
                    "P31", {{"entity-type", "item"}, {"id", it->second.human ? "Q5" : "Q634"}},
                    "normal")});
                Json images = Json::array();
                // Leave-outs the reader must skip: a deprecated image and one without a value.
                images.push_back(statement("P18", "Deprecated.jpg", "deprecated"));
                images.push_back({{"mainsnak", {{"snaktype", "somevalue"}, {"property", "P18"}}},
                                  {"rank", "preferred"}});
                for (const std::string& f : it->second.images)
                    images.push_back(statement("P18", f, "normal"));
                claims["P18"] = images;
                if (!it->second.category.empty())
                    claims["P373"] =
                        Json::array({statement("P373", it->second.category, "normal")});
                Json entity = {{"type", "item"}, {"id", id}, {"claims", claims}};
                // Labels and descriptions only when asked for, in the languages asked for.
                const std::vector<std::string> props = Split(req.get_param_value("props"), '|');
                const std::vector<std::string> languages =
                    Split(req.get_param_value("languages"), '|');
                auto asked = [&](const char* prop) {
                    return std::find(props.begin(), props.end(), prop) != props.end();
                };
                if (asked("labels")) {
                    entity["labels"] = Json::object();
                    for (const std::string& language : languages) {
                        if (!it->second.label.empty())
                            entity["labels"][language] = {{"language", language},
                                                          {"value", it->second.label}};
                    }
                }
                if (asked("descriptions")) {
                    entity["descriptions"] = Json::object();
                    for (const std::string& language : languages) {
                        const auto d = it->second.descriptions.find(language);
                        if (d != it->second.descriptions.end())
                            entity["descriptions"][language] = {{"language", language},
                                                                {"value", d->second}};
                    }
                }
                entities[id] = entity;
            }
            res.set_content(Json{{"entities", entities}}.dump(), "application/json; charset=utf-8");
            return;
        }
        const std::string lang =
            service == "commons" ? "commons" : service.substr(service.find(':') + 1);
        if (req.has_param("titles")) {
            Json normalized = Json::array(), redirected = Json::array();
            for (const std::string& asked : Split(req.get_param_value("titles"), '|')) {
                std::string title = Normalised(asked);
                // Commons also writes a file name's first letter upper-case, in any script.
                if (lang == "commons" && title.rfind("File:", 0) == 0 && title.size() > 5) {
                    title = "File:" + WithFirstUpper(title.substr(5));
                }
                if (title != asked)
                    normalized.push_back({{"fromencoded", false}, {"from", asked}, {"to", title}});
                if (req.has_param("redirects") && redirects.count(lang + ":" + title)) {
                    const std::string to = redirects.at(lang + ":" + title);
                    redirected.push_back({{"from", title}, {"to", to}});
                    title = to;
                }
                if (lang == "commons") {
                    list.push_back(FileJson(title.substr(title.find(':') + 1), width, 0));
                } else if (const Page* p = FindPage(lang, title)) {
                    list.push_back(PageJson(*p));
                } else if (title.find_first_of("|#<>[]{}") != std::string::npos) {
                    list.push_back({{"title", title}, {"invalidreason", "bad"}, {"invalid", true}});
                } else {
                    list.push_back({{"ns", 0}, {"title", title}, {"missing", true}});
                }
            }
            if (!normalized.empty())
                query["normalized"] = normalized;
            if (!redirected.empty())
                query["redirects"] = redirected;
        } else if (req.get_param_value("generator") == "search") {
            const std::string text = req.get_param_value("gsrsearch");
            std::vector<std::string> hits;
            if (lang == "commons" && text.rfind("haswbstatement:P180=", 0) == 0 &&
                depicts.count(text.substr(20))) {
                hits = depicts.at(text.substr(20));
            } else if (searches.count(lang + ":" + text)) {
                hits = searches.at(lang + ":" + text);
            }
            if (hits.empty()) {
                res.set_content(answer.dump(), "application/json; charset=utf-8");
                return;  // no hits: no "query" at all
            }
            // Ranked by "index"; the list itself comes in another order.
            for (std::size_t i = hits.size(); i-- > 0;) {
                const int index = static_cast<int>(i) + 1;
                if (lang == "commons") {
                    list.push_back(FileJson(hits[i], width, index));
                } else if (const Page* p = FindPage(lang, hits[i])) {
                    Json j = PageJson(*p);
                    j["index"] = index;
                    list.push_back(j);
                }
            }
        } else if (req.get_param_value("generator") == "categorymembers") {
            const std::string category = req.get_param_value("gcmtitle").substr(9);
            for (const std::string& f :
                 categories.count(category) ? categories.at(category) : std::vector<std::string>())
                list.push_back(FileJson(f, width, 0));
        }
        query["pages"] = v2 ? list : FormatVersion1(list);
        answer["query"] = query;
        res.set_content(answer.dump(), "application/json; charset=utf-8");
    }

    std::string PictureBytes(const std::string& kind, int width) {
        std::lock_guard lock(mutex);
        const std::string key = kind + ":" + std::to_string(width);
        if (!pictureBytes.count(key))
            pictureBytes[key] = photographs.Encoded(kind, width);
        return pictureBytes[key];
    }

    void Upload(const httplib::Request& req, httplib::Response& res) {
        const std::vector<std::string> parts = Split(req.path, '/');
        const bool thumb = parts.size() > 4 && parts[4] == "thumb";
        int width = 0;
        std::string name = Spaced(parts.back());
        if (thumb) {
            const std::size_t px = name.find("px-");
            width = px == std::string::npos ? 0 : std::atoi(name.substr(0, px).c_str());
            name = name.substr(px == std::string::npos ? 0 : px + 3);
            if (std::find(std::begin(kStandardWidths), std::end(kStandardWidths), width) ==
                std::end(kStandardWidths)) {
                res.status = 429;  // no Retry-After: a width the host never serves
                res.set_content("<html><body>Use thumbnail steps</body></html>", "text/html");
                return;
            }
        }
        const auto it = files.find(name);
        const std::string kind = it != files.end() ? it->second.picture : "hopper";
        if (kind == "html") {
            res.set_content("<html><body>Hot-link protected</body></html>", "text/html");
        } else if (kind == "huge") {
            res.set_content(std::string(17 * 1024 * 1024, '\xFF'), "image/jpeg");
        } else if (kind == "moved") {
            res.set_redirect(owner.privateRedirect);
        } else {
            res.set_content(PictureBytes(kind, width),
                            kind == "astronaut" ? "image/png" : "image/jpeg");
        }
    }

    void Searx(const httplib::Request& req, httplib::Response& res) {
        if (req.get_param_value("format") == "json" && !owner.searxJson) {
            res.status = 403;
            res.set_content("<html><body>403 Forbidden</body></html>", "text/html");
            return;
        }
        if (owner.searxLimit) {
            res.status = 429;
            res.set_content("Too Many Requests", "text/plain");
            return;
        }
        const std::string q = req.get_param_value("q");
        if (q.empty()) {
            res.status = 400;
            res.set_content(R"({"error":"No query"})", "application/json");
            return;
        }
        Json results = Json::array();
        if (q == "Sam Example") {
            const std::string img = owner.Base() + "/img/";
            auto result = [&](const std::string& src, Json thumb, const std::string& page) {
                results.push_back({{"template", "images.html"},
                                   {"url", page},
                                   {"title", "Sam <b>Example</b> at an event"},
                                   {"img_src", src},
                                   {"thumbnail_src", thumb},
                                   {"resolution", "512 x 600"},
                                   {"img_format", nullptr},
                                   {"engine", "bing images"},
                                   {"engines", {"bing images"}},
                                   {"score", 1.0},
                                   {"category", "images"}});
            };
            result(img + "sam.jpg", img + "sam-small.jpg", "https://site.example/sam");
            result(img + "page.html", img + "sam2.png", "https://site.example/sam2");
            result("http://10.0.0.1/sam3.jpg", nullptr, "https://site.example/sam3");
        }
        const Json answer = {{"query", q},
                             {"number_of_results", 0},
                             {"results", results},
                             {"answers", Json::array()},
                             {"suggestions", Json::array()},
                             {"unresponsive_engines", {{"google images", "timeout"}}}};
        res.set_content(answer.dump(), "application/json");
    }

    void Image(const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.path.substr(5);
        if (name == "page.html")
            res.set_content("<html>not here</html>", "text/html");
        else
            res.set_content(PictureBytes(name == "sam2.png" ? "astronaut" : "hopper", 0),
                            name == "sam2.png" ? "image/png" : "image/jpeg");
    }

    static std::string ServiceOf(const std::string& path) {
        if (path.rfind("/commons/", 0) == 0)
            return "commons";
        if (path.rfind("/wikidata/", 0) == 0)
            return "wikidata";
        if (path.rfind("/upload/", 0) == 0 || path.rfind("/img/", 0) == 0)
            return "upload";
        if (path.rfind("/searx/", 0) == 0)
            return "searxng";
        if (path.find("/w/api.php") != std::string::npos)
            return "wikipedia:" + path.substr(1, path.find('/', 1) - 1);
        return "other";
    }

    void Handle(const httplib::Request& req, httplib::Response& res) {
        Request entry;
        entry.service = ServiceOf(req.path);
        entry.path = req.path;
        for (const auto& [k, v] : req.params) entry.params[k] = v;
        entry.userAgent = req.get_header_value("User-Agent");
        entry.acceptEncoding = req.get_header_value("Accept-Encoding");
        entry.start = Clock::now();
        const bool picture = entry.service == "upload";
        const bool api = !picture && entry.service != "other";
        std::atomic<int>& now = picture ? picturesNow : apiNow;
        std::atomic<int>& most = picture ? owner.m_mostPictures : owner.m_mostApi;
        const int inFlight = ++now;
        for (int m = most; inFlight > m && !most.compare_exchange_weak(m, inFlight);) {
        }
        if (owner.delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(owner.delayMs));

        const bool wikimedia = entry.service != "searxng" && entry.service != "other";
        if (owner.html429) {
            res.status = 429;
            res.set_content("<html><body><h1>Too many requests</h1></body></html>", "text/html");
        } else if (wikimedia && entry.userAgent.find("(+") == std::string::npos &&
                   entry.userAgent.find('@') == std::string::npos) {
            res.status = 403;  // generic agents are blocked
            res.set_content("Please set a user-agent with a contact", "text/plain");
        } else if (picture) {
            entry.service == "upload" && req.path.rfind("/img/", 0) == 0 ? Image(req, res)
                                                                         : Upload(req, res);
        } else if (entry.service == "searxng") {
            Searx(req, res);
        } else if (api) {
            Api(entry.service, req, res);
        } else {
            res.status = 404;
        }
        --now;
        entry.end = Clock::now();
        std::lock_guard lock(mutex);
        log.push_back(std::move(entry));
    }
};

FakeWeb::FakeWeb(const std::filesystem::path& gallery)
    : m_impl(std::make_unique<Impl>(*this, gallery)) {
    auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        m_impl->Handle(req, res);
    };
    m_impl->server.Get(".*", handler);
    m_impl->server.new_task_queue = [] { return new httplib::ThreadPool(8); };
    m_impl->port = m_impl->server.bind_to_any_port("127.0.0.1");
    if (m_impl->port <= 0)
        throw std::runtime_error("cannot bind a loopback port");
    m_impl->thread = std::thread([this] { m_impl->server.listen_after_bind(); });
    for (int i = 0; i < 500 && !m_impl->server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

FakeWeb::~FakeWeb() {
    m_impl->server.stop();
    m_impl->thread.join();
}

int FakeWeb::Port() const {
    return m_impl->port;
}

std::string FakeWeb::Base() const {
    return "http://127.0.0.1:" + std::to_string(m_impl->port);
}

std::string FakeWeb::Endpoint() const {
    return "127.0.0.1:" + std::to_string(m_impl->port);
}

std::vector<FakeWeb::Request> FakeWeb::Log() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->log;
}

void FakeWeb::ClearLog() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->log.clear();
    m_mostApi = 0;
    m_mostPictures = 0;
}

int FakeWeb::ApiRequests() const {
    int n = 0;
    for (const Request& r : Log()) n += r.service != "upload" && r.service != "other";
    return n;
}

int FakeWeb::PictureRequests() const {
    int n = 0;
    for (const Request& r : Log()) n += r.service == "upload";
    return n;
}

}  // namespace norvo::test
