{ The 17 functions of vesk_10 and the records they exchange, for Free Pascal and Delphi.
  The records are packed images, laid out field by field as vesk_10.h lays them out; the
  library fills the ones the host passes. Text results point into a library-owned area
  that the next text-returning call replaces: copy what you keep.

  vesk_10.dll exports stdcall functions on 32-bit Windows, and 64-bit Windows has one
  convention, which stdcall names there; elsewhere (libvesk_10.so on Linux) the library
  uses the C convention. Pascal cannot name a calling convention once for many
  declarations in a way Delphi accepts, so each carries the same choice. Records are
  passed as var parameters, always by address: a const record of 8 bytes may travel by
  value, which the library would not expect. Where vesk_10.h says const, the library
  leaves the record as it was. }
unit vesk10;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

interface

const
{$IFDEF MSWINDOWS}
  VeskLibrary = 'vesk_10.dll';
{$ELSE}
  VeskLibrary = 'vesk_10';
{$ENDIF}

type
  TBaseBlock = packed record
    signature: LongWord;
    primary_sequence: LongWord;
    secondary_sequence: LongWord;
    last_written_low: LongWord;
    last_written_high: LongWord;
    major_version: LongWord;
    minor_version: LongWord;
    file_type: LongWord;
    file_format: LongWord;
    root_cell: LongWord;
    hive_bins_size: LongWord;
    clustering_factor: LongWord;
    file_name: array[0..63] of Byte;
    reserved: array[0..395] of Byte;
    checksum: LongWord;
  end;

  { Owned by the library from OpenRegistryFile until CloseRegistryFile. }
  PHiveHandle = ^THiveHandle;
  THiveHandle = packed record
    file_: LongWord;
    file_size: LongInt;
    base_block: TBaseBlock;
  end;

  TKeyRecord = packed record
    offset: LongWord;
    signature: Word;
    flags: Word;
    last_written_low: LongWord;
    last_written_high: LongWord;
    access_bits: LongWord;
    parent: LongWord;
    subkey_count: LongInt;
    volatile_subkey_count: LongInt;
    subkey_list: LongWord;
    volatile_subkey_list: LongWord;
    value_count: LongInt;
    value_list: LongWord;
    security: LongWord;
    class_name: LongWord;
    max_subkey_name_length: LongWord;
    max_subkey_class_length: LongWord;
    max_value_name_length: LongWord;
    max_value_data_size: LongWord;
    work_variable: LongWord;
    name_length: Word;
    class_name_length: Word;
  end;

  TKeyListRecord = packed record
    offset: LongWord;
    signature: Word;
    count: SmallInt;
  end;

  TValueListRecord = packed record
    offset: LongWord;
    count: LongInt;
  end;

  TValueRecord = packed record
    offset: LongWord;
    signature: Word;
    name_length: Word;
    data_size: LongWord;
    data_offset: LongWord;
    data_type: LongWord;
    flags: Word;
  end;

{ The sizes vesk_10.h asserts; a field declared wrongly stops the compiler here. }
{$IF (SizeOf(THiveHandle) <> 520) or (SizeOf(TKeyRecord) <> 80) or (SizeOf(TKeyListRecord) <> 8)
  or (SizeOf(TValueListRecord) <> 8) or (SizeOf(TValueRecord) <> 22)}
  {$MESSAGE FATAL 'the records are not 520, 80, 8, 8 and 22 bytes'}
{$IFEND}

function OpenRegistryFile(Path: PAnsiChar): PHiveHandle;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;
function CloseRegistryFile(Hive: PHiveHandle): LongInt;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;

function SearchRootKey(Hive: PHiveHandle; var Key: TKeyRecord): LongInt;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;
function CountSubKeys(var Key: TKeyRecord): LongInt;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;
function CountValues(var Key: TKeyRecord): LongInt;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;
function GetRegKeyName(Hive: PHiveHandle; var Key: TKeyRecord): PAnsiChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;

function GetSubKeyList(Hive: PHiveHandle; var Key: TKeyRecord;
  var List: TKeyListRecord): LongInt;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;
function CountKeyList(var List: TKeyListRecord): LongInt;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;
function GetSubKey(Hive: PHiveHandle; var List: TKeyListRecord; Index: LongInt;
  var SubKey: TKeyRecord): PAnsiChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;

function GetValueList(Hive: PHiveHandle; var Key: TKeyRecord;
  var List: TValueListRecord): LongInt;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;
function GetValue(Hive: PHiveHandle; var List: TValueListRecord; Index: LongInt;
  var Value: TValueRecord): LongInt;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;
function GetValueName(Hive: PHiveHandle; var Value: TValueRecord): PAnsiChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;
function GetValueType(Hive: PHiveHandle; var Value: TValueRecord): LongInt;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;

{ GetValueDataLength and GetValueString clear bit 31 of Value.data_size in place. }
function GetValueDataLength(Hive: PHiveHandle; var Value: TValueRecord): LongInt;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;
function GetValueString(Hive: PHiveHandle; var Value: TValueRecord): PAnsiChar;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;
function GetValueData(Hive: PHiveHandle; var Value: TValueRecord; Buffer: Pointer): LongInt;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;
function GetValueDword(Hive: PHiveHandle; var Value: TValueRecord): LongWord;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VeskLibrary;

implementation

end.
