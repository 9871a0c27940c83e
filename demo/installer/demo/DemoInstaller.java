package demo;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;

/**
 * A small installer for the launcher's demo: reports what the launcher handed
 * over, installs two files into INSTALL_DIR=<dir> (default: a "demo-home"
 * directory in the scratch directory) and ends with the code given by
 * EXIT_CODE=<n> (default 0).
 */
public final class DemoInstaller {
    private DemoInstaller() {}

    public static void main(String[] args) throws IOException {
        System.out.println("Demo installer started by the setup launcher");
        Map<String, String> properties = new TreeMap<>();
        for (String name : System.getProperties().stringPropertyNames()) {
            if (name.startsWith("quelta.installer.")) {
                properties.put(name, System.getProperty(name));
            }
        }
        System.out.println("System properties:");
        properties.forEach((k, v) -> System.out.println("  " + k + " = " + v));
        System.out.println("Arguments:");
        String scratch = null;
        String installDir = null;
        int exitCode = 0;
        for (int i = 0; i < args.length; i++) {
            System.out.println("  [" + i + "] " + args[i]);
            if (args[i].equals("-scratchPath") && i + 1 < args.length) {
                scratch = args[i + 1].trim();
            } else if (args[i].startsWith("INSTALL_DIR=")) {
                installDir = args[i].substring("INSTALL_DIR=".length());
            } else if (args[i].startsWith("EXIT_CODE=")) {
                exitCode = Integer.parseInt(args[i].substring("EXIT_CODE=".length()));
            }
        }
        Path home = installDir != null ? Paths.get(installDir)
                : Paths.get(scratch != null ? scratch : ".", "demo-home");
        Files.createDirectories(home);
        List<String> readme = new ArrayList<>();
        readme.add("Demo product installed by the demo installer.");
        readme.add("Started from: " + properties.getOrDefault("quelta.installer.exec_location", "?"));
        Files.write(home.resolve("README.txt"), readme, StandardCharsets.UTF_8);
        Files.write(home.resolve("version.txt"), List.of("1.0.0"), StandardCharsets.UTF_8);
        System.out.println("Installed 2 files into " + home.toAbsolutePath());
        System.out.println("Exit code " + exitCode);
        System.exit(exitCode);
    }
}
