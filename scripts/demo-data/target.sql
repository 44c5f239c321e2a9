-- What the target has beyond the shared tables: rules the source lacks, so that some rows are
-- refused, and rows of an earlier run that the transfer deletes before copying.
CREATE UNIQUE INDEX VNH_MSStamm_KennNr ON VNH_MSStamm (KennNr);

CREATE TRIGGER VNH_Messwerte_WertPositiv BEFORE INSERT ON VNH_Messwerte
WHEN NEW.Wert < 0
BEGIN
    SELECT RAISE(ABORT, 'Messwert darf nicht negativ sein');
END;

CREATE TRIGGER VNH_ChangeLogger_Benutzer BEFORE INSERT ON VNH_ChangeLogger
WHEN NEW.Benutzer IS NULL
BEGIN
    SELECT RAISE(ABORT, 'Benutzer fehlt');
END;

INSERT INTO VNH_ValueMarkers (ID, Marker, Bedeutung, Farbe, Sortierung) VALUES
    (900, 'ALT', 'Altbestand, wird beim Transfer gelöscht', 0, 99);
INSERT INTO VNH_MSStamm (ID, KennNr, Bezeichnung) VALUES (900, 'ALT-900', 'Altbestand');
