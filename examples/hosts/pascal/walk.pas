{ Lists every key of a hive with its values, then the totals, as examples/use.c does,
  through the unit vesk10. The functions the listing does not need are called too and
  checked against the others; a disagreement is reported on the error output and fails
  the run. }
program walk;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

uses
  vesk10;

var
  Keys, Values, Problems: LongInt;

procedure Problem(const What: string);
begin
  WriteLn(ErrOutput, 'PROBLEM ', What);
  Inc(Problems);
end;

{ Data over 4 bytes is copied whole and begins with what GetValueDword reads; shorter
  data is the record's own data_offset field. }
procedure CheckData(Hive: PHiveHandle; var Value: TValueRecord; ValueType, Length: LongInt);
var
  Data: array of Byte;
  Dword: LongWord;
begin
  if GetValueType(Hive, Value) <> ValueType then Problem('GetValueType differs from GetValue');
  if (ValueType = 1) or (ValueType = 2) then GetValueString(Hive, Value);
  Dword := GetValueDword(Hive, Value);
  if Length > 4 then
  begin
    SetLength(Data, Length);
    if GetValueData(Hive, Value, @Data[0]) <> 1 then Problem('GetValueData refused')
    else if (Data[0] or (Data[1] shl 8) or (Data[2] shl 16) or (LongWord(Data[3]) shl 24))
            <> Dword then Problem('GetValueData differs from GetValueDword');
  end
  else if Dword <> Value.data_offset then
    Problem('GetValueDword differs from the record''s data_offset');
end;

procedure ListKey(Hive: PHiveHandle; var Key: TKeyRecord; Depth: LongInt);
var
  ValueList: TValueListRecord;
  KeyList: TKeyListRecord;
  Value: TValueRecord;
  SubKey: TKeyRecord;
  I, N, ValueType, Length: LongInt;
begin
  Inc(Keys);
  { Text results live until the next call that returns text: write them at once. }
  Write(StringOfChar(' ', 2 * Depth), GetRegKeyName(Hive, Key), #10);
  N := GetValueList(Hive, Key, ValueList);
  if N <> CountValues(Key) then Problem('CountValues differs from GetValueList');
  for I := 0 to N - 1 do
  begin
    ValueType := GetValue(Hive, ValueList, I, Value);
    Length := GetValueDataLength(Hive, Value);
    Write(StringOfChar(' ', 2 * Depth + 2), '= ', GetValueName(Hive, Value),
          ' (type ', ValueType, ', ', Length, ' bytes)', #10);
    CheckData(Hive, Value, ValueType, Length);
    Inc(Values);
  end;
  N := GetSubKeyList(Hive, Key, KeyList);
  if (N <> 0) and ((N <> CountKeyList(KeyList)) or (N <> CountSubKeys(Key))) then
    Problem('CountKeyList or CountSubKeys differs from GetSubKeyList');
  for I := 0 to N - 1 do
  begin
    GetSubKey(Hive, KeyList, I, SubKey);
    ListKey(Hive, SubKey, Depth + 1);
  end;
end;

var
  Hive: PHiveHandle;
  Root: TKeyRecord;
begin
  if ParamCount <> 1 then
  begin
    WriteLn(ErrOutput, 'usage: walk HIVE');
    Halt(2);
  end;
  Hive := OpenRegistryFile(PAnsiChar(AnsiString(ParamStr(1))));
  if (Hive = nil) or (SearchRootKey(Hive, Root) = 0) then
  begin
    WriteLn(ErrOutput, ParamStr(1), ': not a readable hive');
    CloseRegistryFile(Hive);
    Halt(1);
  end;
  ListKey(Hive, Root, 0);
  Write(Keys, ' keys, ', Values, ' values', #10);
  CloseRegistryFile(Hive);
  if Problems <> 0 then Halt(1);
end.
