// The OLE DB interfaces, structures and constants that the library calls and
// that its SQL provider implements. Shapes follow OLE DB for 64-bit
// platforms: handles, offsets, lengths, ordinals and row counts are
// pointer-sized; LONG, ULONG and DWORD stay 32-bit; strings are UTF-16
// (char16_t). Identifiers carry their standard values.
//
// Ownership follows OLE DB: memory a provider hands out (arrays of property
// sets, bindings, row handles it allocates, command text, SQL states) comes
// from the task allocator (ComMemory.h) and is freed by the consumer with
// CoTaskMemFree; BSTRs with SysFreeString; interfaces with Release.
#ifndef COM_OLE_DB_H
#define COM_OLE_DB_H

#include "Com/ComBase.h"
#include "Com/ComErrorInfo.h"
#include "Com/ComVariant.h"

// ---- scalar types ----
using DBTYPE = WORD;
using DBKIND = DWORD;
using DBPART = DWORD;
using DBMEMOWNER = DWORD;
using DBPARAMIO = DWORD;
using DBACCESSORFLAGS = DWORD;
using DBBINDSTATUS = DWORD;
using DBSTATUS = DWORD;
using DBROWSTATUS = DWORD;
using DBROWOPTIONS = DWORD;
using DBPROPID = DWORD;
using DBPROPOPTIONS = DWORD;
using DBPROPSTATUS = DWORD;
using DBPROPFLAGS = DWORD;
using DISPID = LONG;
using ISOLEVEL = LONG;
// A reference count stays 32-bit on 64-bit platforms.
using DBREFCOUNT = ULONG;

using HROW = ULONG_PTR;
using HACCESSOR = ULONG_PTR;
using HCHAPTER = ULONG_PTR;
using DBBYTEOFFSET = ULONG_PTR;
using DBLENGTH = ULONG_PTR;
using DBORDINAL = ULONG_PTR;
using DBCOUNTITEM = ULONG_PTR;
using DB_UPARAMS = ULONG_PTR;
using DBROWCOUNT = LONG_PTR;
using DBROWOFFSET = LONG_PTR;

inline constexpr HROW DB_NULL_HROW = 0;
inline constexpr HACCESSOR DB_NULL_HACCESSOR = 0;
inline constexpr HCHAPTER DB_NULL_HCHAPTER = 0;

// ---- OLE DB result codes (the ones TavResult lacks) ----
inline constexpr HRESULT DB_E_BADACCESSORHANDLE = static_cast<int32_t>(0x80040E00u);
inline constexpr HRESULT DB_E_ROWLIMITEXCEEDED = static_cast<int32_t>(0x80040E01u);
inline constexpr HRESULT DB_E_READONLYACCESSOR = static_cast<int32_t>(0x80040E02u);
inline constexpr HRESULT DB_E_SCHEMAVIOLATION = static_cast<int32_t>(0x80040E03u);
inline constexpr HRESULT DB_E_BADROWHANDLE = static_cast<int32_t>(0x80040E04u);
inline constexpr HRESULT DB_E_OBJECTOPEN = static_cast<int32_t>(0x80040E05u);
inline constexpr HRESULT DB_E_BADCHAPTER = static_cast<int32_t>(0x80040E06u);
inline constexpr HRESULT DB_E_CANTCONVERTVALUE = static_cast<int32_t>(0x80040E07u);
inline constexpr HRESULT DB_E_BADBINDINFO = static_cast<int32_t>(0x80040E08u);
inline constexpr HRESULT DB_SEC_E_PERMISSIONDENIED = static_cast<int32_t>(0x80040E09u);
inline constexpr HRESULT DB_E_NOCOMMAND = static_cast<int32_t>(0x80040E0Cu);
inline constexpr HRESULT DB_E_PARAMNOTOPTIONAL = static_cast<int32_t>(0x80040E10u);
inline constexpr HRESULT DB_E_BADCOLUMNID = static_cast<int32_t>(0x80040E11u);
inline constexpr HRESULT DB_E_ERRORSINCOMMAND = static_cast<int32_t>(0x80040E14u);
inline constexpr HRESULT DB_E_CANTCANCEL = static_cast<int32_t>(0x80040E15u);
inline constexpr HRESULT DB_E_DIALECTNOTSUPPORTED = static_cast<int32_t>(0x80040E16u);
inline constexpr HRESULT DB_E_UNSUPPORTEDCONVERSION = static_cast<int32_t>(0x80040E1Du);
inline constexpr HRESULT DB_E_NOTREENTRANT = static_cast<int32_t>(0x80040E20u);
inline constexpr HRESULT DB_E_ERRORSOCCURRED = static_cast<int32_t>(0x80040E21u);
inline constexpr HRESULT DB_E_NOAGGREGATION = static_cast<int32_t>(0x80040E22u);
inline constexpr HRESULT DB_E_DELETEDROW = static_cast<int32_t>(0x80040E23u);
inline constexpr HRESULT DB_E_CANTFETCHBACKWARDS = static_cast<int32_t>(0x80040E24u);
inline constexpr HRESULT DB_E_ROWSNOTRELEASED = static_cast<int32_t>(0x80040E25u);
inline constexpr HRESULT DB_E_INTEGRITYVIOLATION = static_cast<int32_t>(0x80040E2Fu);
inline constexpr HRESULT DB_E_NOTABLE = static_cast<int32_t>(0x80040E37u);
inline constexpr HRESULT DB_E_CONCURRENCYVIOLATION = static_cast<int32_t>(0x80040E38u);
inline constexpr HRESULT DB_E_BADTABLEID = static_cast<int32_t>(0x80040E3Cu);
inline constexpr HRESULT DB_E_BADTYPE = static_cast<int32_t>(0x80040E3Du);
inline constexpr HRESULT DB_E_DUPLICATETABLEID = static_cast<int32_t>(0x80040E3Fu);
inline constexpr HRESULT DB_E_BADACCESSORFLAGS = static_cast<int32_t>(0x80040E46u);
inline constexpr HRESULT DB_E_BYREFACCESSORNOTSUPPORTED = static_cast<int32_t>(0x80040E48u);
inline constexpr HRESULT DB_E_NULLACCESSORNOTSUPPORTED = static_cast<int32_t>(0x80040E49u);
inline constexpr HRESULT DB_E_BADACCESSORTYPE = static_cast<int32_t>(0x80040E4Bu);
inline constexpr HRESULT DB_SEC_E_AUTH_FAILED = static_cast<int32_t>(0x80040E4Du);
inline constexpr HRESULT DB_E_CANCELED = static_cast<int32_t>(0x80040E4Eu);
inline constexpr HRESULT DB_E_ALREADYINITIALIZED = static_cast<int32_t>(0x80040E52u);
inline constexpr HRESULT DB_E_NOTSUPPORTED = static_cast<int32_t>(0x80040E53u);
inline constexpr HRESULT DB_E_BADORDINAL = static_cast<int32_t>(0x80040E55u);
inline constexpr HRESULT DB_E_DATAOVERFLOW = static_cast<int32_t>(0x80040E57u);

inline constexpr HRESULT DB_S_ENDOFROWSET = 0x00040EC6;
inline constexpr HRESULT DB_S_NORESULT = 0x00040EC9;
inline constexpr HRESULT DB_S_CANTRELEASE = 0x00040ECA;
inline constexpr HRESULT DB_S_ERRORSOCCURRED = 0x00040EDA;

// ---- data types ----
inline constexpr DBTYPE DBTYPE_EMPTY = 0;
inline constexpr DBTYPE DBTYPE_NULL = 1;
inline constexpr DBTYPE DBTYPE_I2 = 2;
inline constexpr DBTYPE DBTYPE_I4 = 3;
inline constexpr DBTYPE DBTYPE_R4 = 4;
inline constexpr DBTYPE DBTYPE_R8 = 5;
inline constexpr DBTYPE DBTYPE_BSTR = 8;
inline constexpr DBTYPE DBTYPE_BOOL = 11;
inline constexpr DBTYPE DBTYPE_VARIANT = 12;
inline constexpr DBTYPE DBTYPE_IUNKNOWN = 13;
inline constexpr DBTYPE DBTYPE_I1 = 16;
inline constexpr DBTYPE DBTYPE_UI1 = 17;
inline constexpr DBTYPE DBTYPE_UI2 = 18;
inline constexpr DBTYPE DBTYPE_UI4 = 19;
inline constexpr DBTYPE DBTYPE_I8 = 20;
inline constexpr DBTYPE DBTYPE_UI8 = 21;
inline constexpr DBTYPE DBTYPE_GUID = 72;
inline constexpr DBTYPE DBTYPE_BYTES = 128;
inline constexpr DBTYPE DBTYPE_STR = 129;
inline constexpr DBTYPE DBTYPE_WSTR = 130;
inline constexpr DBTYPE DBTYPE_DBDATE = 133;
inline constexpr DBTYPE DBTYPE_DBTIME = 134;
inline constexpr DBTYPE DBTYPE_DBTIMESTAMP = 135;
// Modifier: the value part holds a pointer to the data.
inline constexpr DBTYPE DBTYPE_BYREF = 0x4000;

// ---- bindings and accessors ----
inline constexpr DBPART DBPART_INVALID = 0;
inline constexpr DBPART DBPART_VALUE = 0x1;
inline constexpr DBPART DBPART_LENGTH = 0x2;
inline constexpr DBPART DBPART_STATUS = 0x4;

inline constexpr DBPARAMIO DBPARAMIO_NOTPARAM = 0;
inline constexpr DBPARAMIO DBPARAMIO_INPUT = 0x1;
inline constexpr DBPARAMIO DBPARAMIO_OUTPUT = 0x2;

inline constexpr DBMEMOWNER DBMEMOWNER_CLIENTOWNED = 0;
inline constexpr DBMEMOWNER DBMEMOWNER_PROVIDEROWNED = 1;

inline constexpr DBACCESSORFLAGS DBACCESSOR_INVALID = 0;
inline constexpr DBACCESSORFLAGS DBACCESSOR_PASSBYREF = 0x1;
inline constexpr DBACCESSORFLAGS DBACCESSOR_ROWDATA = 0x2;
inline constexpr DBACCESSORFLAGS DBACCESSOR_PARAMETERDATA = 0x4;
inline constexpr DBACCESSORFLAGS DBACCESSOR_OPTIMIZED = 0x8;

inline constexpr DBBINDSTATUS DBBINDSTATUS_OK = 0;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADORDINAL = 1;
inline constexpr DBBINDSTATUS DBBINDSTATUS_UNSUPPORTEDCONVERSION = 2;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADBINDINFO = 3;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADSTORAGEFLAGS = 4;
inline constexpr DBBINDSTATUS DBBINDSTATUS_NOINTERFACE = 5;

inline constexpr DBSTATUS DBSTATUS_S_OK = 0;
inline constexpr DBSTATUS DBSTATUS_E_BADACCESSOR = 1;
inline constexpr DBSTATUS DBSTATUS_E_CANTCONVERTVALUE = 2;
inline constexpr DBSTATUS DBSTATUS_S_ISNULL = 3;
inline constexpr DBSTATUS DBSTATUS_S_TRUNCATED = 4;
inline constexpr DBSTATUS DBSTATUS_E_SIGNMISMATCH = 5;
inline constexpr DBSTATUS DBSTATUS_E_DATAOVERFLOW = 6;
inline constexpr DBSTATUS DBSTATUS_E_CANTCREATE = 7;
inline constexpr DBSTATUS DBSTATUS_E_UNAVAILABLE = 8;
inline constexpr DBSTATUS DBSTATUS_E_PERMISSIONDENIED = 9;
inline constexpr DBSTATUS DBSTATUS_E_INTEGRITYVIOLATION = 10;
inline constexpr DBSTATUS DBSTATUS_E_SCHEMAVIOLATION = 11;
inline constexpr DBSTATUS DBSTATUS_E_BADSTATUS = 12;
inline constexpr DBSTATUS DBSTATUS_S_DEFAULT = 13;

inline constexpr DBROWSTATUS DBROWSTATUS_S_OK = 0;

class ITypeInfo;  // never used: bindings always pass null

// Describes a bound object (a storage interface in place of a value).
struct DBOBJECT {
  DWORD dwFlags;
  IID iid;
};

struct DBBINDEXT {
  BYTE* pExtension;
  DBCOUNTITEM ulExtension;
};

// One column or parameter of an accessor: where its value, length and
// status lie in the consumer's buffer and how the value is typed.
struct DBBINDING {
  DBORDINAL iOrdinal;
  DBBYTEOFFSET obValue;
  DBBYTEOFFSET obLength;
  DBBYTEOFFSET obStatus;
  ITypeInfo* pTypeInfo;
  DBOBJECT* pObject;
  DBBINDEXT* pBindExt;
  DBPART dwPart;
  DBMEMOWNER dwMemOwner;
  DBPARAMIO eParamIO;
  DBLENGTH cbMaxLen;
  DWORD dwFlags;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
};

// Parameter values for ICommand::Execute: cParamSets rows laid out as the
// accessor describes, starting at pData.
struct DBPARAMS {
  void* pData;
  DB_UPARAMS cParamSets;
  HACCESSOR hAccessor;
};

struct DBTIMESTAMP {
  SHORT year;
  USHORT month;
  USHORT day;
  USHORT hour;
  USHORT minute;
  USHORT second;
  ULONG fraction;  // billionths of a second
};

// ---- identifiers of tables, columns and properties ----
inline constexpr DBKIND DBKIND_GUID_NAME = 0;
inline constexpr DBKIND DBKIND_GUID_PROPID = 1;
inline constexpr DBKIND DBKIND_NAME = 2;
inline constexpr DBKIND DBKIND_PGUID_NAME = 3;
inline constexpr DBKIND DBKIND_PGUID_PROPID = 4;
inline constexpr DBKIND DBKIND_PROPID = 5;
inline constexpr DBKIND DBKIND_GUID = 6;

// eKind selects which union members are meaningful (DBKIND_NAME: only
// uName.pwszName).
struct DBID {
  union {
    GUID guid;
    GUID* pguid;
  } uGuid;
  DBKIND eKind;
  union {
    LPOLESTR pwszName;
    ULONG ulPropid;
  } uName;
};

// "No identifier": an all-zero DBID.
inline constexpr DBID DB_NULLID = {{GUID_NULL}, DBKIND_GUID_NAME, {nullptr}};

// ---- properties ----
inline constexpr DBPROPOPTIONS DBPROPOPTIONS_REQUIRED = 0;
inline constexpr DBPROPOPTIONS DBPROPOPTIONS_SETIFCHEAP = 1;
inline constexpr DBPROPOPTIONS DBPROPOPTIONS_OPTIONAL = 1;

inline constexpr DBPROPSTATUS DBPROPSTATUS_OK = 0;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSUPPORTED = 1;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADVALUE = 2;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADOPTION = 3;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADCOLUMN = 4;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTALLSETTABLE = 5;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSETTABLE = 6;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSET = 7;
inline constexpr DBPROPSTATUS DBPROPSTATUS_CONFLICTING = 8;

inline constexpr DBPROPID DBPROP_AUTH_PASSWORD = 0x09;
inline constexpr DBPROPID DBPROP_AUTH_USERID = 0x0C;
inline constexpr DBPROPID DBPROP_INIT_DATASOURCE = 0x3B;
inline constexpr DBPROPID DBPROP_INIT_PROMPT = 0x40;
inline constexpr DBPROPID DBPROP_INIT_CATALOG = 0xE9;
inline constexpr DBPROPID DBPROP_IRowsetChange = 0x7F;

inline constexpr SHORT DBPROMPT_PROMPT = 1;
inline constexpr SHORT DBPROMPT_COMPLETE = 2;
inline constexpr SHORT DBPROMPT_COMPLETEREQUIRED = 3;
inline constexpr SHORT DBPROMPT_NOPROMPT = 4;

TAV_DEFINE_GUID(DBPROPSET_DBINIT, 0xC8B522BC, 0x5CF3, 0x11CE, 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44,
                0x77, 0x3D);
TAV_DEFINE_GUID(DBPROPSET_ROWSET, 0xC8B522BE, 0x5CF3, 0x11CE, 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44,
                0x77, 0x3D);

// Command dialects. The provider's default dialect is its SQL.
TAV_DEFINE_GUID(DBGUID_DEFAULT, 0xC8B521FB, 0x5CF3, 0x11CE, 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44,
                0x77, 0x3D);
inline constexpr GUID DBGUID_DBSQL = DBGUID_DEFAULT;

// One property to set or read. vValue is owned by the structure's owner.
struct DBPROP {
  DBPROPID dwPropertyID;
  DBPROPOPTIONS dwOptions;
  DBPROPSTATUS dwStatus;
  DBID colid;
  VARIANT vValue;
};

struct DBPROPSET {
  DBPROP* rgProperties;
  ULONG cProperties;
  GUID guidPropertySet;
};

struct DBPROPIDSET {
  DBPROPID* rgPropertyIDs;
  ULONG cPropertyIDs;
  GUID guidPropertySet;
};

struct DBPROPINFO {
  LPOLESTR pwszDescription;
  DBPROPID dwPropertyID;
  DBPROPFLAGS dwFlags;
  VARTYPE vtType;
  VARIANT vValues;
};

struct DBPROPINFOSET {
  DBPROPINFO* rgPropertyInfos;
  ULONG cPropertyInfos;
  GUID guidPropertySet;
};

// A column of ITableDefinition::CreateTable.
struct DBCOLUMNDESC {
  LPOLESTR pwszTypeName;
  ITypeInfo* pTypeInfo;
  DBPROPSET* rgPropertySets;
  CLSID* pclsid;
  ULONG cPropertySets;
  DBLENGTH ulColumnSize;
  DBID dbcid;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
};

// ---- transactions ----
inline constexpr ISOLEVEL ISOLATIONLEVEL_UNSPECIFIED = -1;
inline constexpr ISOLEVEL ISOLATIONLEVEL_CHAOS = 0x10;
inline constexpr ISOLEVEL ISOLATIONLEVEL_READUNCOMMITTED = 0x100;
inline constexpr ISOLEVEL ISOLATIONLEVEL_BROWSE = 0x100;
inline constexpr ISOLEVEL ISOLATIONLEVEL_CURSORSTABILITY = 0x1000;
inline constexpr ISOLEVEL ISOLATIONLEVEL_READCOMMITTED = 0x1000;
inline constexpr ISOLEVEL ISOLATIONLEVEL_REPEATABLEREAD = 0x10000;
inline constexpr ISOLEVEL ISOLATIONLEVEL_SERIALIZABLE = 0x100000;
inline constexpr ISOLEVEL ISOLATIONLEVEL_ISOLATED = 0x100000;

inline constexpr DWORD XACTTC_NONE = 0;
inline constexpr DWORD XACTTC_SYNC_PHASEONE = 1;
inline constexpr DWORD XACTTC_SYNC_PHASETWO = 2;
inline constexpr DWORD XACTTC_SYNC = 2;
inline constexpr DWORD XACTTC_ASYNC_PHASEONE = 4;
inline constexpr DWORD XACTTC_ASYNC = 4;

struct BOID {
  BYTE rgb[16];
};

struct XACTTRANSINFO {
  BOID uow;
  ISOLEVEL isoLevel;
  ULONG isoFlags;
  DWORD grfTCSupported;
  DWORD grfRMSupported;
  DWORD grfTCSupportedRetaining;
  DWORD grfRMSupportedRetaining;
};

class ITransactionOptions;  // never used: callers pass null

// ---- errors ----
// The basic information of one error record.
struct ERRORINFO {
  HRESULT hrError;
  DWORD dwMinor;  // provider-specific error number
  CLSID clsid;
  IID iid;
  DISPID dispid;
};

struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

// ---- class and interface identifiers ----
TAV_DEFINE_GUID(CLSID_SQLOLEDB, 0x0C7FF16C, 0x38E3, 0x11D0, 0x97, 0xAB, 0x00, 0xC0, 0x4F, 0xC2,
                0xAD, 0x98);

#define TAV_OLEDB_IID(name, l) \
  TAV_DEFINE_GUID(name, l, 0x2A1C, 0x11CE, 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D)
TAV_OLEDB_IID(IID_ISequentialStream, 0x0C733A30);
TAV_OLEDB_IID(IID_IRowsetChange, 0x0C733A05);
TAV_OLEDB_IID(IID_IDBCreateCommand, 0x0C733A1D);
TAV_OLEDB_IID(IID_ICommandText, 0x0C733A27);
TAV_OLEDB_IID(IID_IDBCreateSession, 0x0C733A5D);
TAV_OLEDB_IID(IID_ITransactionLocal, 0x0C733A5F);
TAV_OLEDB_IID(IID_ICommand, 0x0C733A63);
TAV_OLEDB_IID(IID_IErrorRecords, 0x0C733A67);
TAV_OLEDB_IID(IID_IOpenRowset, 0x0C733A69);
TAV_OLEDB_IID(IID_ISQLErrorInfo, 0x0C733A74);
TAV_OLEDB_IID(IID_IRowset, 0x0C733A7C);
TAV_OLEDB_IID(IID_ITableDefinition, 0x0C733A86);
TAV_OLEDB_IID(IID_IDBProperties, 0x0C733A8A);
TAV_OLEDB_IID(IID_IDBInitialize, 0x0C733A8B);
TAV_OLEDB_IID(IID_IAccessor, 0x0C733A8C);
#undef TAV_OLEDB_IID
TAV_DEFINE_GUID(IID_ITransaction, 0x0FB15084, 0xAF41, 0x11CE, 0xBD, 0x2B, 0x20, 0x4C, 0x4F, 0x4F,
                0x50, 0x20);

// ---- interfaces ----
// Methods return S_OK on success unless stated; out-parameters are written
// only on success unless stated.

class ISequentialStream : public IUnknown {
 public:
  // OUT *read (optional): bytes delivered. S_FALSE when fewer than `size`.
  virtual HRESULT Read(void* buffer, ULONG size, ULONG* read) = 0;
  // OUT *written (optional): bytes accepted.
  virtual HRESULT Write(const void* buffer, ULONG size, ULONG* written) = 0;
};
TAV_COM_INTERFACE(ISequentialStream, IUnknown, IID_ISequentialStream);

// Data source: connects once its DBPROPSET_DBINIT properties are set.
class IDBInitialize : public IUnknown {
 public:
  virtual HRESULT Initialize() = 0;
  virtual HRESULT Uninitialize() = 0;
};
TAV_COM_INTERFACE(IDBInitialize, IUnknown, IID_IDBInitialize);

class IDBProperties : public IUnknown {
 public:
  // OUT *setCount, *sets: task-allocated property sets (values owned by
  // the caller, cleared with VariantClear before the arrays are freed).
  virtual HRESULT GetProperties(ULONG idSetCount, const DBPROPIDSET idSets[], ULONG* setCount,
                                DBPROPSET** sets) = 0;
  virtual HRESULT GetPropertyInfo(ULONG idSetCount, const DBPROPIDSET idSets[], ULONG* infoSetCount,
                                  DBPROPINFOSET** infoSets, OLECHAR** descriptions) = 0;
  // Each property's dwStatus is written. DB_S_ERRORSOCCURRED when some
  // optional properties were not set, DB_E_ERRORSOCCURRED when none was or a
  // required one failed.
  virtual HRESULT SetProperties(ULONG setCount, DBPROPSET sets[]) = 0;
};
TAV_COM_INTERFACE(IDBProperties, IUnknown, IID_IDBProperties);

class IDBCreateSession : public IUnknown {
 public:
  // OUT *session: a new session as interface riid.
  virtual HRESULT CreateSession(IUnknown* outer, REFIID riid, IUnknown** session) = 0;
};
TAV_COM_INTERFACE(IDBCreateSession, IUnknown, IID_IDBCreateSession);

class IDBCreateCommand : public IUnknown {
 public:
  // OUT *command: a new command of the session as interface riid.
  virtual HRESULT CreateCommand(IUnknown* outer, REFIID riid, IUnknown** command) = 0;
};
TAV_COM_INTERFACE(IDBCreateCommand, IUnknown, IID_IDBCreateCommand);

class ICommand : public IUnknown {
 public:
  // Stops an execution running on another thread (DB_E_CANTCANCEL when the
  // provider cannot).
  virtual HRESULT Cancel() = 0;
  // Runs the command text. riid IID_NULL asks for no rowset; OUT *rowset
  // otherwise (null for a command without results). OUT *rowsAffected
  // (optional): rows changed, -1 when unknown. params null when the text
  // has no markers.
  virtual HRESULT Execute(IUnknown* outer, REFIID riid, DBPARAMS* params, DBROWCOUNT* rowsAffected,
                          IUnknown** rowset) = 0;
  virtual HRESULT GetDBSession(REFIID riid, IUnknown** session) = 0;
};
TAV_COM_INTERFACE(ICommand, IUnknown, IID_ICommand);

class ICommandText : public ICommand {
 public:
  // OUT *text: task-allocated copy of the text (DB_E_NOCOMMAND when unset).
  virtual HRESULT GetCommandText(GUID* dialect, LPOLESTR* text) = 0;
  // The text is copied; DB_E_DIALECTNOTSUPPORTED for an unknown dialect.
  virtual HRESULT SetCommandText(REFGUID dialect, LPCOLESTR text) = 0;
};
TAV_COM_INTERFACE(ICommandText, ICommand, IID_ICommandText);

class IAccessor : public IUnknown {
 public:
  virtual HRESULT AddRefAccessor(HACCESSOR accessor, DBREFCOUNT* refCount) = 0;
  // OUT *accessor: a handle of the bindings (copied by the provider).
  // statuses (optional): one DBBINDSTATUS per binding; DB_E_ERRORSOCCURRED
  // when a binding is invalid. rowSize is the distance between rows (0 for
  // one row or when unknown).
  virtual HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM bindingCount,
                                 const DBBINDING bindings[], DBLENGTH rowSize, HACCESSOR* accessor,
                                 DBBINDSTATUS statuses[]) = 0;
  virtual HRESULT GetBindings(HACCESSOR accessor, DBACCESSORFLAGS* flags, DBCOUNTITEM* bindingCount,
                              DBBINDING** bindings) = 0;
  // Drops one reference of the handle; the handle dies at 0.
  virtual HRESULT ReleaseAccessor(HACCESSOR accessor, DBREFCOUNT* refCount) = 0;
};
TAV_COM_INTERFACE(IAccessor, IUnknown, IID_IAccessor);

class IRowset : public IUnknown {
 public:
  virtual HRESULT AddRefRows(DBCOUNTITEM rowCount, const HROW rows[], DBREFCOUNT refCounts[],
                             DBROWSTATUS statuses[]) = 0;
  // Writes the row's values into data as the accessor describes.
  virtual HRESULT GetData(HROW row, HACCESSOR accessor, void* data) = 0;
  // Skips `offset` rows, then fetches up to rowCount. OUT *obtained; OUT
  // *rows: when it points to an array, the handles are written there;
  // when null, the provider allocates the array. DB_S_ENDOFROWSET when
  // fewer rows were left.
  virtual HRESULT GetNextRows(HCHAPTER chapter, DBROWOFFSET offset, DBROWCOUNT rowCount,
                              DBCOUNTITEM* obtained, HROW** rows) = 0;
  virtual HRESULT ReleaseRows(DBCOUNTITEM rowCount, const HROW rows[], DBROWOPTIONS options[],
                              DBREFCOUNT refCounts[], DBROWSTATUS statuses[]) = 0;
  virtual HRESULT RestartPosition(HCHAPTER chapter) = 0;
};
TAV_COM_INTERFACE(IRowset, IUnknown, IID_IRowset);

class IRowsetChange : public IUnknown {
 public:
  virtual HRESULT DeleteRows(HCHAPTER chapter, DBCOUNTITEM rowCount, const HROW rows[],
                             DBROWSTATUS statuses[]) = 0;
  virtual HRESULT SetData(HROW row, HACCESSOR accessor, void* data) = 0;
  // OUT *row (optional): handle of the new row, released with ReleaseRows.
  virtual HRESULT InsertRow(HCHAPTER chapter, HACCESSOR accessor, void* data, HROW* row) = 0;
};
TAV_COM_INTERFACE(IRowsetChange, IUnknown, IID_IRowsetChange);

class IOpenRowset : public IUnknown {
 public:
  // OUT *rowset: the whole table as interface riid. DB_E_NOTABLE when it
  // does not exist.
  virtual HRESULT OpenRowset(IUnknown* outer, DBID* tableId, DBID* indexId, REFIID riid,
                             ULONG setCount, DBPROPSET sets[], IUnknown** rowset) = 0;
};
TAV_COM_INTERFACE(IOpenRowset, IUnknown, IID_IOpenRowset);

class ITableDefinition : public IUnknown {
 public:
  // OUT *newTableId, *rowset (both optional). DB_E_DUPLICATETABLEID when the
  // table exists.
  virtual HRESULT CreateTable(IUnknown* outer, DBID* tableId, DBORDINAL columnCount,
                              const DBCOLUMNDESC columns[], REFIID riid, ULONG setCount,
                              DBPROPSET sets[], DBID** newTableId, IUnknown** rowset) = 0;
  virtual HRESULT DropTable(DBID* tableId) = 0;
  virtual HRESULT AddColumn(DBID* tableId, DBCOLUMNDESC* column, DBID** columnId) = 0;
  virtual HRESULT DropColumn(DBID* tableId, DBID* columnId) = 0;
};
TAV_COM_INTERFACE(ITableDefinition, IUnknown, IID_ITableDefinition);

class ITransaction : public IUnknown {
 public:
  // XACT_E_NOTRANSACTION when none is open.
  virtual HRESULT Commit(BOOL retaining, DWORD commitFlags, DWORD resourceFlags) = 0;
  virtual HRESULT Abort(BOID* reason, BOOL retaining, BOOL async) = 0;
  virtual HRESULT GetTransactionInfo(XACTTRANSINFO* info) = 0;
};
TAV_COM_INTERFACE(ITransaction, IUnknown, IID_ITransaction);

class ITransactionLocal : public ITransaction {
 public:
  virtual HRESULT GetOptionsObject(ITransactionOptions** options) = 0;
  // OUT *level (optional): nesting level of the new transaction (1).
  // XACT_E_XTIONEXISTS when one is already open.
  virtual HRESULT StartTransaction(ISOLEVEL isolationLevel, ULONG isolationFlags,
                                   ITransactionOptions* options, ULONG* level) = 0;
};
TAV_COM_INTERFACE(ITransactionLocal, ITransaction, IID_ITransactionLocal);

// The error object of an OLE DB provider: a list of records, newest first
// (record 0 is the most recent).
class IErrorRecords : public IUnknown {
 public:
  virtual HRESULT AddErrorRecord(ERRORINFO* info, DWORD lookupId, DISPPARAMS* parameters,
                                 IUnknown* customError, DWORD dynamicErrorId) = 0;
  virtual HRESULT GetBasicErrorInfo(ULONG record, ERRORINFO* info) = 0;
  // OUT *object: the record's custom error object as riid, or null (S_OK)
  // when the record has none or it lacks that interface.
  virtual HRESULT GetCustomErrorObject(ULONG record, REFIID riid, IUnknown** object) = 0;
  // OUT *info: the record's own IErrorInfo (description and source).
  virtual HRESULT GetErrorInfo(ULONG record, LCID locale, IErrorInfo** info) = 0;
  virtual HRESULT GetErrorParameters(ULONG record, DISPPARAMS* parameters) = 0;
  virtual HRESULT GetRecordCount(ULONG* count) = 0;
};
TAV_COM_INTERFACE(IErrorRecords, IUnknown, IID_IErrorRecords);

class ISQLErrorInfo : public IUnknown {
 public:
  // OUT *sqlState: a five-character BSTR; OUT *nativeError.
  virtual HRESULT GetSQLInfo(BSTR* sqlState, LONG* nativeError) = 0;
};
TAV_COM_INTERFACE(ISQLErrorInfo, IUnknown, IID_ISQLErrorInfo);

#endif  // COM_OLE_DB_H
