// Lists every key of a hive with its values, then the totals, as examples/use.c does,
// through the declarations in Vesk.cs. Text goes to the output as the library's bytes.
// The functions the listing does not need are called too and checked against the
// others; a disagreement is reported on the error stream and fails the run.
using System;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;

namespace VeskHosts
{
    static class Walk
    {
        static Stream output = Console.OpenStandardOutput();
        static int keys, values, problems;

        static void Problem(string what)
        {
            Console.Error.WriteLine("PROBLEM " + what);
            ++problems;
        }

        // Data over 4 bytes is copied whole and begins with what GetValueDword reads;
        // shorter data is the record's own data_offset field.
        static void CheckData(IntPtr hive, ref ValueRecord value, int type, int length)
        {
            if (Vesk.GetValueType(hive, ref value) != type) Problem("GetValueType differs from GetValue");
            if (type == 1 || type == 2) Vesk.Text(Vesk.GetValueString(hive, ref value));
            uint dword = Vesk.GetValueDword(hive, ref value);
            if (length > 4)
            {
                byte[] data = new byte[length];
                if (Vesk.GetValueData(hive, ref value, data) != 1) Problem("GetValueData refused");
                else if (BitConverter.ToUInt32(data, 0) != dword) Problem("GetValueData differs from GetValueDword");
            }
            else if (dword != value.data_offset)
            {
                Problem("GetValueDword differs from the record's data_offset");
            }
        }

        static void Write(string text)
        {
            byte[] bytes = Encoding.ASCII.GetBytes(text);
            output.Write(bytes, 0, bytes.Length);
        }

        static void WriteLine(int indent, string before, IntPtr text, string after)
        {
            Write(new string(' ', indent) + before);
            byte[] bytes = Vesk.Text(text);
            output.Write(bytes, 0, bytes.Length);
            Write(after + "\n");
        }

        static void ListKey(IntPtr hive, ref KeyRecord key, int depth)
        {
            var valueList = new ValueListRecord();
            var keyList = new KeyListRecord();
            ++keys;
            WriteLine(2 * depth, "", Vesk.GetRegKeyName(hive, ref key), "");
            int n = Vesk.GetValueList(hive, ref key, ref valueList);
            if (n != Vesk.CountValues(ref key)) Problem("CountValues differs from GetValueList");
            for (int i = 0; i < n; ++i)
            {
                var value = new ValueRecord();
                int type = Vesk.GetValue(hive, ref valueList, i, ref value);
                int length = Vesk.GetValueDataLength(hive, ref value);
                WriteLine(2 * depth + 2, "= ", Vesk.GetValueName(hive, ref value),
                          " (type " + type + ", " + length + " bytes)");
                CheckData(hive, ref value, type, length);
                ++values;
            }
            n = Vesk.GetSubKeyList(hive, ref key, ref keyList);
            if (n != 0 && (n != Vesk.CountKeyList(ref keyList) || n != Vesk.CountSubKeys(ref key)))
                Problem("CountKeyList or CountSubKeys differs from GetSubKeyList");
            for (int i = 0; i < n; ++i)
            {
                var subkey = new KeyRecord();
                Vesk.GetSubKey(hive, ref keyList, i, ref subkey);
                ListKey(hive, ref subkey, depth + 1);
            }
        }

        static int Main(string[] args)
        {
            if (args.Length != 1)
            {
                Console.Error.WriteLine("usage: walk.exe HIVE");
                return 2;
            }
            // The sizes vesk_10.h asserts; a field declared wrongly shows here first.
            int[] sizes = { Marshal.SizeOf(typeof(HiveHandle)), Marshal.SizeOf(typeof(KeyRecord)),
                            Marshal.SizeOf(typeof(KeyListRecord)),
                            Marshal.SizeOf(typeof(ValueListRecord)),
                            Marshal.SizeOf(typeof(ValueRecord)) };
            if (string.Join(" ", sizes) != "520 80 8 8 22")
            {
                Console.Error.WriteLine("record sizes " + string.Join(" ", sizes) +
                                        ", not 520 80 8 8 22");
                return 1;
            }
            IntPtr hive = Vesk.OpenRegistryFile(args[0]);
            var root = new KeyRecord();
            if (hive == IntPtr.Zero || Vesk.SearchRootKey(hive, ref root) == 0)
            {
                Console.Error.WriteLine(args[0] + ": not a readable hive");
                Vesk.CloseRegistryFile(hive);
                return 1;
            }
            ListKey(hive, ref root, 0);
            Write(keys + " keys, " + values + " values\n");
            output.Flush();
            Vesk.CloseRegistryFile(hive);
            return problems == 0 ? 0 : 1;
        }
    }
}
