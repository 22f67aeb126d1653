#include "sim/table.h"

#include <algorithm>
#include <map>
#include <optional>
#include <type_traits>

#include "sim/object_base.h"
#include "sim/props.h"
#include "sim/sim_text.h"

namespace sim {

using mapi::HRESULT;
using mapi::ULONG;

namespace {

constexpr ULONG kTableStatusComplete = 0;   // TBLSTAT_COMPLETE
constexpr ULONG kTableTypeSnapshot = 0;     // TBLTYPE_SNAPSHOT
constexpr ULONG kTableTypeDynamic = 2;      // TBLTYPE_DYNAMIC
constexpr ULONG kDirBackward = 0x00000001;  // FindRow's DIR_BACKWARD

// A restriction copied out of the caller's memory.
struct Res {
    ULONG rt = 0;
    ULONG relop = 0;  // relop, fuzzy level or bit-mask relation
    ULONG tag = 0;
    ULONG tag2 = 0;  // second property of RES_COMPAREPROPS, mask of RES_BITMASK, cb of RES_SIZE
    std::optional<PropValue> value;
    std::vector<Res> subs;
};

HRESULT Copy(const mapi::SRestriction* in, Res& out) {
    if (!in) return mapi::MAPI_E_INVALID_PARAMETER;
    out.rt = in->rt;
    auto copyValue = [&](const mapi::SPropValue* value) -> HRESULT {
        if (!value) return mapi::MAPI_E_INVALID_PARAMETER;
        out.value = ParseSPropValue(*value);
        return out.value ? mapi::S_OK : mapi::MAPI_E_TOO_COMPLEX;
    };
    auto copyList = [&](ULONG count, const mapi::SRestriction* list) -> HRESULT {
        if (count && !list) return mapi::MAPI_E_INVALID_PARAMETER;
        out.subs.resize(count);
        for (ULONG i = 0; i < count; ++i) {
            HRESULT hr = Copy(&list[i], out.subs[i]);
            if (mapi::FAILED(hr)) return hr;
        }
        return mapi::S_OK;
    };
    switch (in->rt) {
        case mapi::RES_AND:
            return copyList(in->res.resAnd.cRes, in->res.resAnd.lpRes);
        case mapi::RES_OR:
            return copyList(in->res.resOr.cRes, in->res.resOr.lpRes);
        case mapi::RES_NOT:
            return copyList(1, in->res.resNot.lpRes);
        case mapi::RES_COMMENT:
            return in->res.resComment.lpRes ? copyList(1, in->res.resComment.lpRes) : mapi::S_OK;
        case mapi::RES_PROPERTY:
            if (in->res.resProperty.relop > mapi::RELOP_NE) return mapi::MAPI_E_TOO_COMPLEX;
            out.relop = in->res.resProperty.relop;
            out.tag = in->res.resProperty.ulPropTag;
            return copyValue(in->res.resProperty.lpProp);
        case mapi::RES_CONTENT:
            out.relop = in->res.resContent.ulFuzzyLevel;
            out.tag = in->res.resContent.ulPropTag;
            return copyValue(in->res.resContent.lpProp);
        case mapi::RES_BITMASK:
            out.relop = in->res.resBitMask.relBMR;
            out.tag = in->res.resBitMask.ulPropTag;
            out.tag2 = in->res.resBitMask.ulMask;
            return mapi::S_OK;
        case mapi::RES_EXIST:
            out.tag = in->res.resExist.ulPropTag;
            return mapi::S_OK;
        case mapi::RES_COMPAREPROPS:
            if (in->res.resCompareProps.relop > mapi::RELOP_NE) return mapi::MAPI_E_TOO_COMPLEX;
            out.relop = in->res.resCompareProps.relop;
            out.tag = in->res.resCompareProps.ulPropTag1;
            out.tag2 = in->res.resCompareProps.ulPropTag2;
            return mapi::S_OK;
        case mapi::RES_SIZE:
            if (in->res.resSize.relop > mapi::RELOP_NE) return mapi::MAPI_E_TOO_COMPLEX;
            out.relop = in->res.resSize.relop;
            out.tag = in->res.resSize.ulPropTag;
            out.tag2 = in->res.resSize.cb;
            return mapi::S_OK;
        default:
            return mapi::MAPI_E_TOO_COMPLEX;
    }
}

bool Relate(ULONG relop, int order) {
    switch (relop) {
        case mapi::RELOP_LT:
            return order < 0;
        case mapi::RELOP_LE:
            return order <= 0;
        case mapi::RELOP_GT:
            return order > 0;
        case mapi::RELOP_GE:
            return order >= 0;
        case mapi::RELOP_EQ:
            return order == 0;
        case mapi::RELOP_NE:
            return order != 0;
        default:
            return false;
    }
}

char16_t Fold(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
}

std::u16string FoldAll(std::u16string text) {
    for (char16_t& c : text) c = Fold(c);
    return text;
}

// The row's value of tag in the restriction's type, if it has one.
std::optional<PropValue> RowValue(const Row& row, ULONG tag) {
    const PropValue* found = FindProp(row, tag);
    if (!found) return std::nullopt;
    return ConvertProp(*found, mapi::PROP_TYPE(tag));
}

bool ContentMatches(const PropValue& value, const PropValue& pattern, ULONG fuzzy) {
    auto matchText = [&](std::u16string text, std::u16string want) {
        if (fuzzy & mapi::FL_IGNORECASE) {
            text = FoldAll(std::move(text));
            want = FoldAll(std::move(want));
        }
        switch (fuzzy & 0xFFFF) {
            case mapi::FL_SUBSTRING:
                return text.find(want) != std::u16string::npos;
            case mapi::FL_PREFIX:
                return text.compare(0, want.size(), want) == 0;
            default:
                return text == want;
        }
    };
    auto asText = [](const PropValue& v) -> std::optional<std::u16string> {
        auto converted = ConvertProp(v, mapi::PT_UNICODE);
        if (!converted) return std::nullopt;
        return std::get<std::u16string>(*converted);
    };
    if (auto want = asText(pattern)) {
        if (auto text = asText(value)) return matchText(*text, *want);
        if (auto many = ConvertProp(value, mapi::PT_MV_UNICODE)) {
            for (const auto& text : std::get<std::vector<std::u16string>>(*many)) {
                if (matchText(text, *want)) return true;
            }
        }
        return false;
    }
    if (std::holds_alternative<Bytes>(pattern) && std::holds_alternative<Bytes>(value)) {
        const Bytes& text = std::get<Bytes>(value);
        const Bytes& want = std::get<Bytes>(pattern);
        switch (fuzzy & 0xFFFF) {
            case mapi::FL_SUBSTRING:
                return std::search(text.begin(), text.end(), want.begin(), want.end()) !=
                       text.end();
            case mapi::FL_PREFIX:
                return text.size() >= want.size() &&
                       std::equal(want.begin(), want.end(), text.begin());
            default:
                return text == want;
        }
    }
    return false;
}

std::size_t ValueSize(const PropValue& value) {
    if (auto* s = std::get_if<std::string>(&value)) return s->size() + 1;
    if (auto* w = std::get_if<std::u16string>(&value)) return (w->size() + 1) * 2;
    if (auto* b = std::get_if<Bytes>(&value)) return b->size();
    if (std::holds_alternative<std::int64_t>(value) || std::holds_alternative<FileTime>(value)) {
        return 8;
    }
    if (std::holds_alternative<bool>(value)) return 2;
    return 4;
}

bool Evaluate(const Res& res, const Row& row) {
    switch (res.rt) {
        case mapi::RES_AND:
            return std::all_of(res.subs.begin(), res.subs.end(),
                               [&](const Res& sub) { return Evaluate(sub, row); });
        case mapi::RES_OR:
            return std::any_of(res.subs.begin(), res.subs.end(),
                               [&](const Res& sub) { return Evaluate(sub, row); });
        case mapi::RES_NOT:
            return !Evaluate(res.subs.at(0), row);
        case mapi::RES_COMMENT:
            return res.subs.empty() || Evaluate(res.subs[0], row);
        case mapi::RES_PROPERTY: {
            auto value = RowValue(row, res.tag);
            return value && Relate(res.relop, CompareValues(*value, *res.value));
        }
        case mapi::RES_CONTENT: {
            const PropValue* value = FindProp(row, res.tag);
            return value && ContentMatches(*value, *res.value, res.relop);
        }
        case mapi::RES_BITMASK: {
            auto value = RowValue(row, mapi::CHANGE_PROP_TYPE(res.tag, mapi::PT_LONG));
            if (!value) return false;
            bool zero = (static_cast<ULONG>(std::get<std::int32_t>(*value)) & res.tag2) == 0;
            return res.relop == mapi::BMR_EQZ ? zero : !zero;
        }
        case mapi::RES_EXIST:
            return FindProp(row, res.tag) != nullptr;
        case mapi::RES_COMPAREPROPS: {
            auto a = RowValue(row, res.tag);
            auto b = RowValue(row, res.tag2);
            return a && b && Relate(res.relop, CompareValues(*a, *b));
        }
        case mapi::RES_SIZE: {
            const PropValue* value = FindProp(row, res.tag);
            if (!value) return false;
            auto size = ValueSize(*value);
            return Relate(res.relop, size < res.tag2 ? -1 : size > res.tag2 ? 1 : 0);
        }
        default:
            return false;
    }
}

const char* RelopName(ULONG relop) {
    static const char* names[] = {"LT", "LE", "GT", "GE", "EQ", "NE", "RE"};
    return relop < 7 ? names[relop] : "?";
}

std::string DescribeValueOf(const mapi::SPropValue* value) {
    if (!value) return "null";
    auto parsed = ParseSPropValue(*value);
    return parsed ? DescribeValue(value->ulPropTag, *parsed) : "?";
}

class Table final : public ComObject<mapi::IMAPITable> {
  public:
    Table(TableOptions options, std::vector<Row> rows, RowSource source)
        : ComObject("IMAPITable", options.label, {mapi::IID_IMAPITable}),
          options_(std::move(options)),
          rows_(std::move(rows)),
          source_(std::move(source)),
          columns_(options_.columns) {
        AddInstanceKeys(rows_);
        Refresh();
    }

    HRESULT MAPI_CALL GetLastError(HRESULT hr, ULONG flags, mapi::LPMAPIERROR* error) override try {
        const ProviderScope inProvider;
        return this->NoExtendedError(hr, flags, error);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL Advise(ULONG, mapi::LPMAPIADVISESINK, ULONG*) override try {
        const ProviderScope inProvider;
        return Unsupported("Advise");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL Unadvise(ULONG) override { return Unsupported("Unadvise"); }
    HRESULT MAPI_CALL GetStatus(ULONG* status, ULONG* type) override try {
        const ProviderScope inProvider;
        auto call = Enter("GetStatus");
        if (!call) return call.Result();
        if (!status || !type) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *status = kTableStatusComplete;
        *type = source_ ? kTableTypeDynamic : kTableTypeSnapshot;
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SetColumns(mapi::LPSPropTagArray tags, ULONG flags) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [tags = KeptTags(tags), flags](Table& self) {
            return self.SetColumns(tags.Get(), flags);
        });
        auto call = Enter("SetColumns", {{"tags", ArgTags(tags)}, {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (!tags || tags->cValues == 0) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        columns_.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL QueryColumns(ULONG flags, mapi::LPSPropTagArray* tags) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags](Table& self) {
            mapi::LPSPropTagArray tags = nullptr;
            const HRESULT hr = self.QueryColumns(flags, &tags);
            mapi::MAPIFreeBuffer(tags);
            return hr;
        });
        auto call = Enter("QueryColumns", {{"flags", ArgHex(flags)}}, tags);
        if (!call) return call.Result();
        if (!tags) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        if (!(flags & mapi::TBL_ALL_COLUMNS)) return call.Return(AllocTagArray(columns_, tags));
        Refresh();
        std::vector<ULONG> all;
        for (const Row& row : rows_) {
            for (const auto& [tag, value] : row) {
                if (std::find(all.begin(), all.end(), tag) == all.end()) all.push_back(tag);
            }
        }
        return call.Return(AllocTagArray(all, tags));
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetRowCount(ULONG flags, ULONG* count) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags](Table& self) {
            ULONG count = 0;
            return self.GetRowCount(flags, &count);
        });
        auto call = Enter("GetRowCount", {{"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (!count) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        Refresh();
        *count = static_cast<ULONG>(view_.size());
        call.AddArg("count", ArgDec(*count));
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SeekRow(mapi::BOOKMARK origin, mapi::LONG rows, mapi::LONG* sought) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [origin, rows](Table& self) {
            mapi::LONG sought = 0;
            return self.SeekRow(origin, rows, &sought);
        });
        auto call = Enter("SeekRow", {{"origin", ArgDec(static_cast<std::int64_t>(origin))},
                                      {"rows", ArgDec(rows)}});
        if (!call) return call.Result();
        Refresh();
        std::int64_t start = 0;
        HRESULT hr = Position(origin, &start);
        if (mapi::FAILED(hr)) return call.Return(hr);
        std::int64_t target =
            std::clamp<std::int64_t>(start + rows, 0, static_cast<std::int64_t>(view_.size()));
        cursor_ = static_cast<std::size_t>(target);
        if (sought) *sought = static_cast<mapi::LONG>(target - start);
        return call.Return(hr);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SeekRowApprox(ULONG numerator, ULONG denominator) override try {
        const ProviderScope inProvider;
        auto call = Enter("SeekRowApprox",
                          {{"numerator", ArgDec(numerator)}, {"denominator", ArgDec(denominator)}});
        if (!call) return call.Result();
        if (denominator == 0 || numerator > denominator) {
            return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        }
        Refresh();
        cursor_ = static_cast<std::size_t>(std::uint64_t{view_.size()} * numerator / denominator);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL QueryPosition(ULONG* row, ULONG* numerator, ULONG* denominator) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [](Table& self) {
            ULONG row = 0, numerator = 0, denominator = 0;
            return self.QueryPosition(&row, &numerator, &denominator);
        });
        auto call = Enter("QueryPosition");
        if (!call) return call.Result();
        if (!row || !numerator || !denominator) {
            return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        }
        Refresh();
        *row = static_cast<ULONG>(cursor_);
        *numerator = static_cast<ULONG>(cursor_);
        *denominator = static_cast<ULONG>(std::max<std::size_t>(view_.size(), 1));
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL FindRow(mapi::LPSRestriction restriction, mapi::BOOKMARK origin,
                              ULONG flags) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [restriction = KeptRestriction(restriction), origin, flags](Table& self) {
            return self.FindRow(restriction.Get(), origin, flags);
        });
        auto call = Enter("FindRow", {{"restriction", ArgLater<mapi::SRestriction, DescribeRestriction>(restriction)},
                                      {"origin", ArgDec(static_cast<std::int64_t>(origin))},
                                      {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        Res res;
        HRESULT hr = Copy(restriction, res);
        if (mapi::FAILED(hr)) return call.Return(hr);
        Refresh();
        std::int64_t start = 0;
        hr = Position(origin, &start);
        if (mapi::FAILED(hr)) return call.Return(hr);
        auto size = static_cast<std::int64_t>(view_.size());
        bool backward = (flags & kDirBackward) != 0;
        for (std::int64_t i = backward ? start - 1 : start; i >= 0 && i < size;
             i += backward ? -1 : 1) {
            if (Evaluate(res, rows_[view_[static_cast<std::size_t>(i)]])) {
                cursor_ = static_cast<std::size_t>(i);
                return call.Return(mapi::S_OK);
            }
        }
        return call.Return(mapi::MAPI_E_NOT_FOUND);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL Restrict(mapi::LPSRestriction restriction, ULONG flags) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [restriction = KeptRestriction(restriction), flags](Table& self) {
            return self.Restrict(restriction.Get(), flags);
        });
        auto call = Enter("Restrict", {{"restriction", ArgLater<mapi::SRestriction, DescribeRestriction>(restriction)},
                                       {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (!restriction) {
            restriction_.reset();
        } else {
            Res res;
            HRESULT hr = Copy(restriction, res);
            if (mapi::FAILED(hr)) return call.Return(hr);
            restriction_ = std::move(res);
        }
        cursor_ = 0;
        Refresh(true);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL CreateBookmark(mapi::BOOKMARK* bookmark) override try {
        const ProviderScope inProvider;
        auto call = Enter("CreateBookmark");
        if (!call) return call.Result();
        if (!bookmark) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *bookmark = nextBookmark_++;
        bookmarks_[*bookmark] = cursor_;
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL FreeBookmark(mapi::BOOKMARK bookmark) override try {
        const ProviderScope inProvider;
        auto call =
            Enter("FreeBookmark", {{"bookmark", ArgDec(static_cast<std::int64_t>(bookmark))}});
        if (!call) return call.Result();
        if (bookmark <= mapi::BOOKMARK_END) return call.Return(mapi::S_OK);
        return call.Return(bookmarks_.erase(bookmark) ? mapi::S_OK : mapi::MAPI_E_INVALID_BOOKMARK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SortTable(mapi::LPSSortOrderSet criteria, ULONG flags) override try {
        const ProviderScope inProvider;
        auto call =
            Enter("SortTable", {{"sort", ArgLater<mapi::SSortOrderSet, DescribeSort>(criteria)}, {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (!criteria) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        if (criteria->cCategories) return call.Return(mapi::MAPI_E_TOO_COMPLEX);
        sort_.assign(criteria->aSort, criteria->aSort + criteria->cSorts);
        cursor_ = 0;
        Refresh(true);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL QuerySortOrder(mapi::LPSSortOrderSet* criteria) override try {
        const ProviderScope inProvider;
        auto call = Enter("QuerySortOrder", {}, criteria);
        if (!call) return call.Result();
        if (!criteria) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        void* block = nullptr;
        auto count = static_cast<ULONG>(sort_.size());
        HRESULT hr =
            MAPIAllocateBuffer(mapi::CbNewSSortOrderSet(std::max<ULONG>(count, 1)), &block);
        if (mapi::FAILED(hr)) return call.Return(hr);
        auto set = static_cast<mapi::SSortOrderSet*>(block);
        set->cSorts = count;
        set->cCategories = 0;
        set->cExpanded = 0;
        std::copy(sort_.begin(), sort_.end(), set->aSort);
        *criteria = set;
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL QueryRows(mapi::LONG count, ULONG flags, mapi::LPSRowSet* rows) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [count, flags](Table& self) {
            mapi::LPSRowSet rows = nullptr;
            const HRESULT hr = self.QueryRows(count, flags, &rows);
            mapi::FreeProws(rows);
            return hr;
        });
        auto call = Enter("QueryRows", {{"rows", ArgDec(count)}, {"flags", ArgHex(flags)}}, rows);
        if (!call) return call.Result();
        if (!rows || count == 0) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *rows = nullptr;
        Refresh();
        std::size_t first = cursor_;
        std::size_t last = cursor_;
        if (count > 0) {
            last = std::min(view_.size(), cursor_ + static_cast<std::size_t>(count));
        } else {
            auto back = static_cast<std::size_t>(-static_cast<std::int64_t>(count));
            first = cursor_ > back ? cursor_ - back : 0;
        }
        // The rows' values one row after the other, pointing into the rows where a value is
        // returned as it is stored.
        std::vector<FoundProp> values;
        values.reserve((last - first) * columns_.size());
        for (std::size_t i = first; i < last; ++i) {
            for (ULONG tag : columns_)
                values.push_back(
                    FindRequested(rows_[view_[i]], tag & ~mapi::MV_INSTANCE, options_.unicode));
        }
        HRESULT hr = AllocRowSet(values, last - first, columns_.size(), rows);
        if (mapi::FAILED(hr)) return call.Return(hr);
        if (!(flags & mapi::TBL_NOADVANCE)) cursor_ = count > 0 ? last : first;
        call.AddArg("returned", ArgDec(static_cast<std::int64_t>(last - first)));
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL Abort() override try {
        const ProviderScope inProvider;
        auto call = Enter("Abort");
        if (!call) return call.Result();
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL ExpandRow(ULONG, mapi::LPBYTE, ULONG, ULONG, mapi::LPSRowSet* rows,
                                ULONG*) override try {
        const ProviderScope inProvider;
        if (rows) *rows = nullptr;
        return Unsupported("ExpandRow");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL CollapseRow(ULONG, mapi::LPBYTE, ULONG, ULONG*) override try {
        const ProviderScope inProvider;
        return Unsupported("CollapseRow");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL WaitForCompletion(ULONG flags, ULONG timeout, ULONG* status) override try {
        const ProviderScope inProvider;
        auto call =
            Enter("WaitForCompletion", {{"flags", ArgHex(flags)}, {"timeout", ArgDec(timeout)}});
        if (!call) return call.Result();
        if (status) *status = kTableStatusComplete;
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetCollapseState(ULONG, ULONG, mapi::LPBYTE, ULONG*, mapi::LPBYTE*) override try {
        const ProviderScope inProvider;
        return Unsupported("GetCollapseState");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SetCollapseState(ULONG, ULONG, mapi::LPBYTE, mapi::BOOKMARK*) override try {
        const ProviderScope inProvider;
        return Unsupported("SetCollapseState");
    } catch (...) {
        return ProviderFailure();
    }

  protected:
    void OnFinalRelease() override { options_.owner.Reset(); }

  private:
    static void AddInstanceKeys(std::vector<Row>& rows) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (FindProp(rows[i], mapi::PR_INSTANCE_KEY)) continue;
            rows[i].reserve(rows[i].size() + 1);  // a copied row has no room to spare
            Bytes key(4);
            for (int b = 0; b < 4; ++b) key[b] = static_cast<std::uint8_t>((i + 1) >> (8 * b));
            rows[i][mapi::PR_INSTANCE_KEY] = std::move(key);
        }
    }

    // Fetches the rows again (live tables) and recomputes the restricted, sorted view.
    void Refresh(bool force = false) {
        if (source_) {
            rows_ = source_();
            AddInstanceKeys(rows_);
        } else if (!force && viewValid_) {
            return;
        }
        view_.clear();
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            if (!restriction_ || Evaluate(*restriction_, rows_[i])) view_.push_back(i);
        }
        if (!sort_.empty()) {
            std::stable_sort(view_.begin(), view_.end(), [&](std::size_t a, std::size_t b) {
                return Before(rows_[a], rows_[b]);
            });
        }
        cursor_ = std::min(cursor_, view_.size());
        viewValid_ = true;
    }

    bool Before(const Row& a, const Row& b) const {
        for (const mapi::SSortOrder& order : sort_) {
            auto va = RowValue(a, order.ulPropTag);
            auto vb = RowValue(b, order.ulPropTag);
            // Rows without the property sort after those with it.
            int c = va && vb ? CompareValues(*va, *vb) : va ? -1 : vb ? 1 : 0;
            if (order.ulOrder == mapi::TABLE_SORT_DESCEND) c = -c;
            if (c) return c < 0;
        }
        return false;
    }

    HRESULT Position(mapi::BOOKMARK origin, std::int64_t* position) const {
        switch (origin) {
            case mapi::BOOKMARK_BEGINNING:
                *position = 0;
                return mapi::S_OK;
            case mapi::BOOKMARK_CURRENT:
                *position = static_cast<std::int64_t>(cursor_);
                return mapi::S_OK;
            case mapi::BOOKMARK_END:
                *position = static_cast<std::int64_t>(view_.size());
                return mapi::S_OK;
            default: {
                auto it = bookmarks_.find(origin);
                if (it == bookmarks_.end()) return mapi::MAPI_E_INVALID_BOOKMARK;
                *position = static_cast<std::int64_t>(std::min(it->second, view_.size()));
                return it->second > view_.size() ? mapi::MAPI_W_POSITION_CHANGED : mapi::S_OK;
            }
        }
    }

    static std::string DescribeSort(const mapi::SSortOrderSet* criteria) {
        if (!criteria) return "null";
        std::string text;
        for (ULONG i = 0; i < criteria->cSorts; ++i) {
            if (i) text += ',';
            text += Hex32(criteria->aSort[i].ulPropTag);
            text += criteria->aSort[i].ulOrder == mapi::TABLE_SORT_DESCEND ? " desc" : " asc";
        }
        return text;
    }

    TableOptions options_;
    std::vector<Row> rows_;
    RowSource source_;
    std::vector<ULONG> columns_;
    std::optional<Res> restriction_;
    std::vector<mapi::SSortOrder> sort_;
    std::vector<std::size_t> view_;
    bool viewValid_ = false;
    std::size_t cursor_ = 0;
    std::map<mapi::BOOKMARK, std::size_t> bookmarks_;
    mapi::BOOKMARK nextBookmark_ = mapi::BOOKMARK_END + 1;
};

}  // namespace

int CompareValues(const PropValue& a, const PropValue& b) {
    if (a.index() != b.index()) {
        // Strings of the two widths compare as text.
        auto wa = ConvertProp(a, mapi::PT_UNICODE);
        auto wb = ConvertProp(b, mapi::PT_UNICODE);
        if (wa && wb) return CompareValues(*wa, *wb);
        return a.index() < b.index() ? -1 : 1;
    }
    auto order = [](const auto& x, const auto& y) { return x < y ? -1 : y < x ? 1 : 0; };
    if (auto* s = std::get_if<std::u16string>(&a)) {
        return order(FoldAll(*s), FoldAll(std::get<std::u16string>(b)));
    }
    if (auto* s = std::get_if<std::string>(&a)) {
        return CompareValues(*ConvertProp(*s, mapi::PT_UNICODE),
                             *ConvertProp(std::get<std::string>(b), mapi::PT_UNICODE));
    }
    return std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, FileTime>) {
                return order(x.value, std::get<FileTime>(b).value);
            } else {
                return order(x, std::get<T>(b));
            }
        },
        a);
}

HRESULT CheckRestriction(const mapi::SRestriction* restriction) {
    Res res;
    return Copy(restriction, res);
}

bool MatchesRestriction(const Row& row, const mapi::SRestriction* restriction) {
    Res res;
    if (mapi::FAILED(Copy(restriction, res))) return false;
    return Evaluate(res, row);
}

std::string DescribeRestriction(const mapi::SRestriction* restriction) {
    if (!restriction) return "null";
    const auto& r = restriction->res;
    auto list = [](const char* name, ULONG count, const mapi::SRestriction* subs) {
        std::string text = name;
        text += '(';
        for (ULONG i = 0; subs && i < count; ++i) {
            if (i) text += ',';
            text += DescribeRestriction(&subs[i]);
        }
        return text + ')';
    };
    switch (restriction->rt) {
        case mapi::RES_AND:
            return list("AND", r.resAnd.cRes, r.resAnd.lpRes);
        case mapi::RES_OR:
            return list("OR", r.resOr.cRes, r.resOr.lpRes);
        case mapi::RES_NOT:
            return list("NOT", 1, r.resNot.lpRes);
        case mapi::RES_COMMENT:
            return list("COMMENT", r.resComment.lpRes ? 1 : 0, r.resComment.lpRes);
        case mapi::RES_PROPERTY:
            return std::string("PROPERTY(") + RelopName(r.resProperty.relop) + ',' +
                   Hex32(r.resProperty.ulPropTag) + ',' + DescribeValueOf(r.resProperty.lpProp) +
                   ')';
        case mapi::RES_CONTENT:
            return "CONTENT(" + Hex32(r.resContent.ulFuzzyLevel) + ',' +
                   Hex32(r.resContent.ulPropTag) + ',' + DescribeValueOf(r.resContent.lpProp) +
                   ')';
        case mapi::RES_BITMASK:
            return std::string("BITMASK(") +
                   (r.resBitMask.relBMR == mapi::BMR_EQZ ? "EQZ" : "NEZ") + ',' +
                   Hex32(r.resBitMask.ulPropTag) + ',' + Hex32(r.resBitMask.ulMask) + ')';
        case mapi::RES_EXIST:
            return "EXIST(" + Hex32(r.resExist.ulPropTag) + ')';
        case mapi::RES_COMPAREPROPS:
            return std::string("COMPAREPROPS(") + RelopName(r.resCompareProps.relop) + ',' +
                   Hex32(r.resCompareProps.ulPropTag1) + ',' +
                   Hex32(r.resCompareProps.ulPropTag2) + ')';
        case mapi::RES_SIZE:
            return std::string("SIZE(") + RelopName(r.resSize.relop) + ',' +
                   Hex32(r.resSize.ulPropTag) + ',' + std::to_string(r.resSize.cb) + ')';
        default:
            return "RES(" + Hex32(restriction->rt) + ')';
    }
}

mapi::ComPtr<mapi::IMAPITable> MakeTable(TableOptions options, std::vector<Row> rows) {
    return MakeObject<Table>(std::move(options), std::move(rows), RowSource());
}

mapi::ComPtr<mapi::IMAPITable> MakeLiveTable(TableOptions options, RowSource source) {
    return MakeObject<Table>(std::move(options), std::vector<Row>(), std::move(source));
}

}  // namespace sim
