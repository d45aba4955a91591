// The 17 functions of vesk_10 and the records they exchange, declared for C# (.NET and
// Mono). The records are packed images, laid out field by field as vesk_10.h lays them
// out; the library fills them through `ref`. Text results are returned as IntPtr on
// purpose: the text belongs to the library and stays intact only until the next call
// that returns text, so it is copied at once (Vesk.Text) and never freed by the
// marshaller, as a `string` result would be.
//
// CallingConvention.Winapi is StdCall on 32-bit Windows, the convention vesk_10.dll
// exports there, and the platform's C convention everywhere else (64-bit Windows,
// libvesk_10.so on Linux). DllImport("vesk_10") finds vesk_10.dll on Windows and
// libvesk_10.so on Linux.
using System;
using System.Runtime.InteropServices;

namespace VeskHosts
{
    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct BaseBlock
    {
        public uint signature;
        public uint primary_sequence;
        public uint secondary_sequence;
        public uint last_written_low;
        public uint last_written_high;
        public uint major_version;
        public uint minor_version;
        public uint file_type;
        public uint file_format;
        public uint root_cell;
        public uint hive_bins_size;
        public uint clustering_factor;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 64)] public byte[] file_name;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 396)] public byte[] reserved;
        public uint checksum;
    }

    // Owned by the library: OpenRegistryFile returns its address (an IntPtr), which the
    // host passes back; Marshal.PtrToStructure<HiveHandle> reads a copy.
    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct HiveHandle
    {
        public uint file;
        public int file_size;
        public BaseBlock base_block;
    }

    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct KeyRecord
    {
        public uint offset;
        public ushort signature;
        public ushort flags;
        public uint last_written_low;
        public uint last_written_high;
        public uint access_bits;
        public uint parent;
        public int subkey_count;
        public int volatile_subkey_count;
        public uint subkey_list;
        public uint volatile_subkey_list;
        public int value_count;
        public uint value_list;
        public uint security;
        public uint class_name;
        public uint max_subkey_name_length;
        public uint max_subkey_class_length;
        public uint max_value_name_length;
        public uint max_value_data_size;
        public uint work_variable;
        public ushort name_length;
        public ushort class_name_length;
    }

    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct KeyListRecord
    {
        public uint offset;
        public ushort signature;
        public short count;
    }

    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct ValueListRecord
    {
        public uint offset;
        public int count;
    }

    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct ValueRecord
    {
        public uint offset;
        public ushort signature;
        public ushort name_length;
        public uint data_size;
        public uint data_offset;
        public uint data_type;
        public ushort flags;
    }

    public static class Vesk
    {
        const string Library = "vesk_10";
        const CallingConvention Call = CallingConvention.Winapi;

        [DllImport(Library, CallingConvention = Call)]
        public static extern IntPtr OpenRegistryFile([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = Call)]
        public static extern int CloseRegistryFile(IntPtr hive);

        [DllImport(Library, CallingConvention = Call)]
        public static extern int SearchRootKey(IntPtr hive, ref KeyRecord key);
        [DllImport(Library, CallingConvention = Call)]
        public static extern int CountSubKeys(ref KeyRecord key);
        [DllImport(Library, CallingConvention = Call)]
        public static extern int CountValues(ref KeyRecord key);
        [DllImport(Library, CallingConvention = Call)]
        public static extern IntPtr GetRegKeyName(IntPtr hive, ref KeyRecord key);

        [DllImport(Library, CallingConvention = Call)]
        public static extern int GetSubKeyList(IntPtr hive, ref KeyRecord key, ref KeyListRecord list);
        [DllImport(Library, CallingConvention = Call)]
        public static extern int CountKeyList(ref KeyListRecord list);
        [DllImport(Library, CallingConvention = Call)]
        public static extern IntPtr GetSubKey(IntPtr hive, ref KeyListRecord list, int index,
                                              ref KeyRecord subkey);

        [DllImport(Library, CallingConvention = Call)]
        public static extern int GetValueList(IntPtr hive, ref KeyRecord key, ref ValueListRecord list);
        [DllImport(Library, CallingConvention = Call)]
        public static extern int GetValue(IntPtr hive, ref ValueListRecord list, int index,
                                          ref ValueRecord value);
        [DllImport(Library, CallingConvention = Call)]
        public static extern IntPtr GetValueName(IntPtr hive, ref ValueRecord value);
        [DllImport(Library, CallingConvention = Call)]
        public static extern int GetValueType(IntPtr hive, ref ValueRecord value);

        // GetValueDataLength and GetValueString clear bit 31 of value.data_size in place.
        [DllImport(Library, CallingConvention = Call)]
        public static extern int GetValueDataLength(IntPtr hive, ref ValueRecord value);
        [DllImport(Library, CallingConvention = Call)]
        public static extern IntPtr GetValueString(IntPtr hive, ref ValueRecord value);
        [DllImport(Library, CallingConvention = Call)]
        public static extern int GetValueData(IntPtr hive, ref ValueRecord value, byte[] buffer);
        [DllImport(Library, CallingConvention = Call)]
        public static extern uint GetValueDword(IntPtr hive, ref ValueRecord value);

        // The bytes of a text result up to its NUL, copied before the next call replaces them:
        // 8-bit text in the system's code page, kept as bytes so nothing is decoded wrongly.
        public static byte[] Text(IntPtr text)
        {
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0) ++length;
            byte[] bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return bytes;
        }
    }
}
