// Properties between the model (PropValue, PropMap) and MAPI (SPropValue arrays in MAPI buffers),
// the GetProps / SetProps / DeleteProps semantics of Exchange over a property map, and PropObject,
// the base of the simulated objects that implement IMAPIProp.
//
// Strings: the model keeps PT_UNICODE or PT_STRING8 as it was stored. A request for the other
// width converts through the system code page (platform::ToSystemCodePage/FromSystemCodePage),
// as Exchange does; PT_UNSPECIFIED and the all-properties request give the stored type, except
// that a string comes back as PT_UNICODE when the call has MAPI_UNICODE and as PT_STRING8 when not.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "mapi/mapi.h"
#include "sim/model.h"
#include "sim/object_base.h"

namespace sim {

// Property values in order, each under its full tag. A PT_ERROR tag carries its SCODE as the
// std::int32_t alternative; a PT_NULL tag carries 0.
using PropList = std::vector<std::pair<mapi::ULONG, PropValue>>;

// The MAPI property type of a model value.
mapi::ULONG PropTypeOf(const PropValue& value);

// The value stored under the property id of tag (whatever its type); storedTag receives its
// full tag. Null when the map holds none.
const PropValue* FindProp(const PropMap& props, mapi::ULONG tag, mapi::ULONG* storedTag = nullptr);
// Stores value under tag, replacing any value with the same property id.
void PutProp(PropMap& props, mapi::ULONG tag, PropValue value);
// Removes the values with the property id of tag; true when there was one.
bool RemoveProp(PropMap& props, mapi::ULONG tag);

// The value as property type `type`: the same for its own type; PT_STRING8 and PT_UNICODE (and
// their multi-valued forms) converted into each other; nullopt for any other pair.
std::optional<PropValue> ConvertProp(const PropValue& value, mapi::ULONG type);

// What a request for tag finds: the value under the tag it is returned with, or a PT_ERROR value
// with MAPI_E_NOT_FOUND (property missing) or MAPI_E_INVALID_TYPE (type not convertible).
std::pair<mapi::ULONG, PropValue> LookupProp(const PropMap& props, mapi::ULONG tag, bool unicode);
// The same without copying a value that is returned as it is stored: `value` points into props
// (which must outlive it), or at `made` for a converted value or an error.
struct FoundProp {
    mapi::ULONG tag = 0;
    const PropValue* value = nullptr;
    std::optional<PropValue> made;

    const PropValue& Value() const { return made ? *made : *value; }
};
FoundProp FindRequested(const PropMap& props, mapi::ULONG tag, bool unicode);
bool IsError(const std::pair<mapi::ULONG, PropValue>& value);

// Writes one value into out; strings, binaries and arrays are allocated with MAPIAllocateMore on
// parent.
mapi::HRESULT FillSPropValue(mapi::ULONG tag, const PropValue& value, void* parent,
                             mapi::SPropValue& out);
// One MAPI buffer holding the values (and everything they point to), as MAPI returns them.
mapi::HRESULT AllocPropArray(const PropList& values, mapi::SPropValue** out);
// A row set from rows of values: each row's values one buffer, the row set another.
mapi::HRESULT AllocRowSet(const std::vector<PropList>& rows, mapi::SRowSet** out);
// The same from `rows` rows of `columns` values each, one row after the other.
mapi::HRESULT AllocRowSet(std::span<const FoundProp> values, std::size_t rows,
                          std::size_t columns, mapi::SRowSet** out);
// An address list from entries of values: each entry's values one buffer, the list another; an
// entry without values has no value array.
mapi::HRESULT AllocAdrList(const std::vector<PropList>& entries, mapi::ADRLIST** out);
// The same for `count` entries, entry i's values made by entryValues(i) and allocated at once,
// so that no entry's values wait in the heap for the others.
mapi::HRESULT AllocAdrList(std::size_t count,
                           const std::function<PropList(std::size_t)>& entryValues,
                           mapi::ADRLIST** out);
// A property tag array in one buffer.
mapi::HRESULT AllocTagArray(const std::vector<mapi::ULONG>& tags, mapi::SPropTagArray** out);
// A problem array in one buffer; null when there are no problems.
mapi::HRESULT AllocProblems(const std::vector<mapi::SPropProblem>& problems,
                            mapi::SPropProblemArray** out);

// The model value of an SPropValue; nullopt for types the model cannot hold (PT_ERROR, PT_NULL,
// PT_OBJECT, PT_I2, PT_DOUBLE, ...).
std::optional<PropValue> ParseSPropValue(const mapi::SPropValue& value);
// The model values of a row or an ADRENTRY, skipping what the model cannot hold.
PropMap ParseSPropValues(mapi::ULONG count, const mapi::SPropValue* values);

// GetProps over props: tags null asks for every property; a missing one comes back as a PT_ERROR
// value and the result is MAPI_W_ERRORS_RETURNED.
mapi::HRESULT GetPropsFromMap(const PropMap& props, const mapi::SPropTagArray* tags,
                              mapi::ULONG flags, mapi::ULONG* count, mapi::SPropValue** out);
mapi::HRESULT GetPropListFromMap(const PropMap& props, mapi::ULONG flags,
                                 mapi::SPropTagArray** out);
// SetProps into props. Values the model cannot hold, and computed (read-only) properties in
// readOnly, are reported as problems; problems may be null.
mapi::HRESULT SetPropsInMap(PropMap& props, mapi::ULONG count, const mapi::SPropValue* values,
                            const std::vector<mapi::ULONG>& readOnly,
                            mapi::SPropProblemArray** problems);
mapi::HRESULT DeletePropsFromMap(PropMap& props, const mapi::SPropTagArray* tags,
                                 const std::vector<mapi::ULONG>& readOnly,
                                 mapi::SPropProblemArray** problems);

// Readable renderings for records and transcripts.
std::string DescribeValue(mapi::ULONG tag, const PropValue& value);
// The tags of values, as ArgTags renders a tag array.
std::string DescribePropTags(mapi::ULONG count, const mapi::SPropValue* values);
// Names as "{guid}:name" (MNID_STRING, UTF-8) or "{guid}#id" (MNID_ID), comma-separated.
std::string DescribeNameIds(mapi::ULONG count, const mapi::LPMAPINAMEID* names);

// GetIDsFromNames / GetNamesFromIDs over a store's name map (Mailbox::namedProperties).
// Names are matched by GUID, kind and, for MNID_STRING, the exact UTF-16 units.
mapi::HRESULT IdsFromNames(Mailbox& mailbox, mapi::ULONG count, mapi::LPMAPINAMEID* names,
                           mapi::ULONG flags, mapi::SPropTagArray** out);
mapi::HRESULT NamesFromIds(Mailbox& mailbox, mapi::SPropTagArray** tags, const mapi::GUID* guid,
                           mapi::ULONG flags, mapi::ULONG* count, mapi::LPMAPINAMEID** out);

// The base of objects that implement IMAPIProp (or an interface derived from it). Reads go to
// Props(); writes to WritableProps(), refused with MAPI_E_NO_ACCESS when it is null. The
// properties in ReadOnlyTags() are computed and cannot be written. Named properties use
// NameMap(); without one GetIDsFromNames answers MAPI_E_NO_SUPPORT.
template <class Interface>
class PropObject : public ComObject<Interface> {
  public:
    mapi::HRESULT MAPI_CALL GetLastError(mapi::HRESULT hr, mapi::ULONG flags,
                                         mapi::LPMAPIERROR* error) override try {
        const ProviderScope inProvider;
        return this->NoExtendedError(hr, flags, error);
    } catch (...) {
        return ProviderFailure();
    }
    mapi::HRESULT MAPI_CALL SaveChanges(mapi::ULONG flags) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags](PropObject& self) { return self.SaveChanges(flags); });
        auto call = this->Enter("SaveChanges", {{"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        return call.Return(Save(flags));
    } catch (...) {
        return ProviderFailure();
    }
    mapi::HRESULT MAPI_CALL GetProps(mapi::LPSPropTagArray tags, mapi::ULONG flags,
                                     mapi::ULONG* count, mapi::LPSPropValue* values) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [tags = KeptTags(tags), flags](PropObject& self) {
            mapi::ULONG count = 0;
            mapi::LPSPropValue values = nullptr;
            const mapi::HRESULT hr = self.GetProps(tags.Get(), flags, &count, &values);
            mapi::MAPIFreeBuffer(values);
            return hr;
        });
        auto call =
            this->Enter("GetProps", {{"tags", ArgTags(tags)}, {"flags", ArgHex(flags)}}, values);
        if (!call) return call.Result();
        if (!count || !values) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        // Asked to warn, the provider could read none of the properties.
        const PropMap props = call.Warning() == mapi::MAPI_W_ERRORS_RETURNED ? PropMap() : Props();
        return call.Return(GetPropsFromMap(props, tags, flags, count, values));
    } catch (...) {
        return ProviderFailure();
    }
    mapi::HRESULT MAPI_CALL GetPropList(mapi::ULONG flags, mapi::LPSPropTagArray* tags) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags](PropObject& self) {
            mapi::LPSPropTagArray tags = nullptr;
            const mapi::HRESULT hr = self.GetPropList(flags, &tags);
            mapi::MAPIFreeBuffer(tags);
            return hr;
        });
        auto call = this->Enter("GetPropList", {{"flags", ArgHex(flags)}}, tags);
        if (!call) return call.Result();
        if (!tags) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        return call.Return(GetPropListFromMap(Props(), flags, tags));
    } catch (...) {
        return ProviderFailure();
    }
    mapi::HRESULT MAPI_CALL OpenProperty(mapi::ULONG tag, mapi::LPCIID iid, mapi::ULONG options,
                                         mapi::ULONG flags, mapi::LPUNKNOWN* out) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [tag, iid = KeptIid(iid), options, flags](PropObject& self) {
            mapi::LPUNKNOWN out = nullptr;  // released by the taped Release
            return self.OpenProperty(tag, iid.Get(), options, flags, &out);
        });
        auto call = this->Enter("OpenProperty",
                                {{"tag", ArgHex(tag)},
                                 {"iid", ArgIid(iid)},
                                 {"options", ArgHex(options)},
                                 {"flags", ArgHex(flags)}},
                                out);
        if (!call) return call.Result();
        if (!out || !iid) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *out = nullptr;
        return call.Return(OpenPropertyObject(tag, *iid, options, flags, out));
    } catch (...) {
        return ProviderFailure();
    }
    mapi::HRESULT MAPI_CALL SetProps(mapi::ULONG count, mapi::LPSPropValue values,
                                     mapi::LPSPropProblemArray* problems) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [values = KeptProps(count, values)](PropObject& self) {
            mapi::LPSPropProblemArray problems = nullptr;
            const mapi::HRESULT hr = self.SetProps(values.Count(), values.Get(), &problems);
            mapi::MAPIFreeBuffer(problems);
            return hr;
        });
        auto call = this->Enter("SetProps", {{"tags", DescribePropTags(count, values)}}, problems);
        if (!call) return call.Result();
        if (count && !values) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        PropMap* target = WritableProps();
        if (!target) return call.Return(mapi::MAPI_E_NO_ACCESS);
        mapi::HRESULT hr = SetPropsInMap(*target, count, values, ReadOnlyTags(), problems);
        if (mapi::SUCCEEDED(hr)) PropsChanged();
        return call.Return(hr);
    } catch (...) {
        return ProviderFailure();
    }
    mapi::HRESULT MAPI_CALL DeleteProps(mapi::LPSPropTagArray tags,
                                        mapi::LPSPropProblemArray* problems) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [tags = KeptTags(tags)](PropObject& self) {
            mapi::LPSPropProblemArray problems = nullptr;
            const mapi::HRESULT hr = self.DeleteProps(tags.Get(), &problems);
            mapi::MAPIFreeBuffer(problems);
            return hr;
        });
        auto call = this->Enter("DeleteProps", {{"tags", ArgTags(tags)}}, problems);
        if (!call) return call.Result();
        if (!tags) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        PropMap* target = WritableProps();
        if (!target) return call.Return(mapi::MAPI_E_NO_ACCESS);
        mapi::HRESULT hr = DeletePropsFromMap(*target, tags, ReadOnlyTags(), problems);
        if (mapi::SUCCEEDED(hr)) PropsChanged();
        return call.Return(hr);
    } catch (...) {
        return ProviderFailure();
    }
    mapi::HRESULT MAPI_CALL CopyTo(mapi::ULONG, mapi::LPCIID, mapi::LPSPropTagArray,
                                   mapi::ULONG_PTR, mapi::LPMAPIPROGRESS, mapi::LPCIID,
                                   mapi::LPVOID, mapi::ULONG,
                                   mapi::LPSPropProblemArray* problems) override try {
        const ProviderScope inProvider;
        auto call = this->Enter("CopyTo", {}, problems);
        if (!call) return call.Result();
        return call.Return(mapi::MAPI_E_NO_SUPPORT);
    } catch (...) {
        return ProviderFailure();
    }
    mapi::HRESULT MAPI_CALL CopyProps(mapi::LPSPropTagArray, mapi::ULONG_PTR, mapi::LPMAPIPROGRESS,
                                      mapi::LPCIID, mapi::LPVOID, mapi::ULONG,
                                      mapi::LPSPropProblemArray* problems) override try {
        const ProviderScope inProvider;
        auto call = this->Enter("CopyProps", {}, problems);
        if (!call) return call.Result();
        return call.Return(mapi::MAPI_E_NO_SUPPORT);
    } catch (...) {
        return ProviderFailure();
    }
    mapi::HRESULT MAPI_CALL GetNamesFromIDs(mapi::LPSPropTagArray* tags, mapi::LPGUID guid,
                                            mapi::ULONG flags, mapi::ULONG* count,
                                            mapi::LPMAPINAMEID** names) override try {
        const ProviderScope inProvider;
        auto call = this->Enter(
            "GetNamesFromIDs",
            {{"tags", ArgTags(tags ? *tags : nullptr)}, {"flags", ArgHex(flags)}}, names);
        if (!call) return call.Result();
        if (!tags || !count || !names) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        Mailbox* map = NameMap();
        if (!map) return call.Return(mapi::MAPI_E_NO_SUPPORT);
        return call.Return(NamesFromIds(*map, tags, guid, flags, count, names));
    } catch (...) {
        return ProviderFailure();
    }
    mapi::HRESULT MAPI_CALL GetIDsFromNames(mapi::ULONG count, mapi::LPMAPINAMEID* names,
                                            mapi::ULONG flags,
                                            mapi::LPSPropTagArray* tags) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [count, names = KeptNames(count, names), flags](PropObject& self) {
            mapi::LPSPropTagArray tags = nullptr;
            const mapi::HRESULT hr = self.GetIDsFromNames(count, names.Get(), flags, &tags);
            mapi::MAPIFreeBuffer(tags);
            return hr;
        });
        auto call =
            this->Enter("GetIDsFromNames",
                        {{"names", DescribeNameIds(count, names)}, {"flags", ArgHex(flags)}}, tags);
        if (!call) return call.Result();
        if (!tags || (count && !names)) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        Mailbox* map = NameMap();
        if (!map) return call.Return(mapi::MAPI_E_NO_SUPPORT);
        return call.Return(IdsFromNames(*map, count, names, flags, tags));
    } catch (...) {
        return ProviderFailure();
    }

  protected:
    using ComObject<Interface>::ComObject;

    // The properties as a reader sees them (stored and computed).
    virtual PropMap Props() const = 0;
    virtual PropMap* WritableProps() { return nullptr; }
    virtual std::vector<mapi::ULONG> ReadOnlyTags() const { return {}; }
    virtual void PropsChanged() {}
    virtual mapi::HRESULT Save(mapi::ULONG /*flags*/) { return mapi::S_OK; }
    virtual Mailbox* NameMap() { return nullptr; }
    virtual mapi::HRESULT OpenPropertyObject(mapi::ULONG /*tag*/, const mapi::IID& /*iid*/,
                                             mapi::ULONG /*options*/, mapi::ULONG /*flags*/,
                                             mapi::LPUNKNOWN* /*out*/) {
        return mapi::MAPI_E_NO_SUPPORT;
    }
};

}  // namespace sim
