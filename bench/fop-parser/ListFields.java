// Lists the structured fields of an AFP file with Apache FOP's own MO:DCA
// parser, one line a field (offset, length, identifier, flags, data length),
// for a scale against dspdump's listing in bench/run.
//   java -cp fop-core.jar:. ListFields FILE > /dev/null
import java.io.BufferedInputStream;
import java.io.BufferedOutputStream;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import org.apache.fop.afp.parser.MODCAParser;
import org.apache.fop.afp.parser.UnparsedStructuredField;

public final class ListFields {
    public static void main(String[] args) throws IOException {
        if (args.length != 1) {
            System.err.println("usage: ListFields FILE");
            System.exit(2);
        }
        PrintStream out = new PrintStream(new BufferedOutputStream(System.out, 1 << 16), false);
        long offset = 0;
        long count = 0;
        try (InputStream in = new BufferedInputStream(new FileInputStream(args[0]), 1 << 16)) {
            MODCAParser parser = new MODCAParser(in);
            StringBuilder line = new StringBuilder(64);
            for (UnparsedStructuredField field; (field = parser.readNextStructuredField()) != null; ) {
                int length = field.getSfLength() & 0xFFFF;
                line.setLength(0);
                line.append(offset).append(' ').append(length + 1).append(' ');
                line.append(Integer.toHexString(field.getSfTypeID() & 0xFFFFFF).toUpperCase());
                line.append(field.isSfiExtensionPresent() ? " ext " : " - ");
                line.append(field.getData().length);
                out.println(line);
                offset += length + 1;
                ++count;
            }
        }
        out.flush();
        System.err.println("fields: " + count);
    }
}
