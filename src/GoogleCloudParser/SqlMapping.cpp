// Cloud SQL database instances (admin API v1beta4) and the records nested in them. Each reader takes
// its keys in the order of the record; a value of the wrong type is reported by its getter and leaves
// the default, and the reading goes on.
#include "GoogleCloudParser/CGoogleCloudParser.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudParser::Convert(const mObject& object, SBackupConfigurationInfoLib& backup) {
    backup.startTime = GetStringValue(object, "startTime");
    backup.enabled = GetBoolValue(object, "enabled");
    backup.binaryLogEnabled = GetBoolValue(object, "binaryLogEnabled");
    backup.replicationLogArchivingEnabled = GetBoolValue(object, "replicationLogArchivingEnabled");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SAuthorizedNetworksInfoLib& network) {
    network.value = GetStringValue(object, "value");
    network.name = GetStringValue(object, "name");
    network.expirationTime = GetStringValue(object, "expirationTime");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SIpConfigurationInfoLib& ipConfiguration) {
    ipConfiguration.ipv4Enabled = GetBoolValue(object, "ipv4Enabled");
    ConvertNestedList(object, "authorizedNetworks", ipConfiguration.authorizedNetworks);
    ipConfiguration.requireSsl = GetBoolValue(object, "requireSsl");
    ipConfiguration.privateNetwork = GetStringValue(object, "privateNetwork");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SLocationPreferenceInfoLib& preference) {
    preference.followGaeApplication = GetStringValue(object, "followGaeApplication");
    preference.zone = GetStringValue(object, "zone");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SDatabaseFlagsInfoLib& flag) {
    flag.name = GetStringValue(object, "name");
    flag.value = GetStringValue(object, "value");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SMaintenanceWindowInfoLib& window) {
    window.hour = GetIntValue(object, "hour");
    window.day = GetIntValue(object, "day");
    window.updateTrack = GetStringValue(object, "updateTrack");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SSettingsInfoLib& settings) {
    settings.settingsVersion = GetLongValue(object, "settingsVersion");
    ConvertNestedListString(object, "authorizedGaeApplications", settings.authorizedGaeApplications);
    settings.tier = GetStringValue(object, "tier");
    ConvertNestedObject(object, "backupConfiguration", settings.backupConfiguration);
    settings.pricingPlan = GetStringValue(object, "pricingPlan");
    settings.replicationType = GetStringValue(object, "replicationType");
    settings.activationPolicy = GetStringValue(object, "activationPolicy");
    ConvertNestedObject(object, "ipConfiguration", settings.ipConfiguration);
    ConvertNestedObject(object, "locationPreference", settings.locationPreference);
    ConvertNestedList(object, "databaseFlags", settings.databaseFlags);
    settings.databaseReplicationEnabled = GetBoolValue(object, "databaseReplicationEnabled");
    settings.crashSafeReplicationEnabled = GetBoolValue(object, "crashSafeReplicationEnabled");
    settings.dataDiskSizeGb = GetLongValue(object, "dataDiskSizeGb");
    settings.dataDiskType = GetStringValue(object, "dataDiskType");
    ConvertNestedObject(object, "maintenanceWindow", settings.maintenanceWindow);
    settings.storageAutoResize = GetBoolValue(object, "storageAutoResize");
    settings.storageAutoResizeLimit = GetLongValue(object, "storageAutoResizeLimit");
    settings.availabilityType = GetStringValue(object, "availabilityType");
    ConvertObjtoKeyPairList(object, "userLabels", settings.userLabels);
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SSslCertsInfoLib& cert) {
    cert.selfLink = GetStringValue(object, "selfLink");
    cert.instance = GetStringValue(object, "instance");
    cert.sha1Fingerprint = GetStringValue(object, "sha1Fingerprint");
    cert.commonName = GetStringValue(object, "commonName");
    cert.certSerialNumber = GetStringValue(object, "certSerialNumber");
    cert.cert = GetStringValue(object, "cert");
    cert.createTime = GetStringValue(object, "createTime");
    cert.expirationTime = GetStringValue(object, "expirationTime");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SIpAddressesInfoLib& address) {
    address.ipAddress = GetStringValue(object, "ipAddress");
    address.timeToRetire = GetStringValue(object, "timeToRetire");
    address.type = GetStringValue(object, "type");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SFailoverReplicaInfoLib& replica) {
    replica.name = GetStringValue(object, "name");
    replica.available = GetBoolValue(object, "available");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SOnPremisesConfigurationInfoLib& onPremises) {
    onPremises.hostPort = GetStringValue(object, "hostPort");
    return true;
}

// The password and the client key are secrets: they go into the record and nowhere else (the getters
// name only the key of a value they cannot read, never the value).
bool CGoogleCloudParser::Convert(const mObject& object, SMysqlReplicaConfigurationInfoLib& mysql) {
    mysql.dumpFilePath = GetStringValue(object, "dumpFilePath");
    mysql.username = GetStringValue(object, "username");
    mysql.password = GetStringValue(object, "password");
    mysql.connectRetryInterval = GetIntValue(object, "connectRetryInterval");
    mysql.masterHeartbeatPeriod = GetLongValue(object, "masterHeartbeatPeriod");
    mysql.caCertificate = GetStringValue(object, "caCertificate");
    mysql.clientCertificate = GetStringValue(object, "clientCertificate");
    mysql.clientKey = GetStringValue(object, "clientKey");
    mysql.sslCipher = GetStringValue(object, "sslCipher");
    mysql.verifyServerCertificate = GetBoolValue(object, "verifyServerCertificate");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SReplicaConfigurationInfoLib& replica) {
    ConvertNestedObject(object, "mysqlReplicaConfiguration", replica.mysqlReplicaConfiguration);
    replica.failoverTarget = GetBoolValue(object, "failoverTarget");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SDBInstanceInfoLib& instance) {
    instance.selfLink = GetStringValue(object, "selfLink");
    instance.name = GetStringValue(object, "name");
    instance.connectionName = GetStringValue(object, "connectionName");
    instance.etag = GetStringValue(object, "etag");
    instance.project = GetStringValue(object, "project");
    instance.state = GetStringValue(object, "state");
    instance.backendType = GetStringValue(object, "backendType");
    instance.databaseVersion = GetStringValue(object, "databaseVersion");
    instance.region = GetStringValue(object, "region");
    instance.currentDiskSize = GetLongValue(object, "currentDiskSize");
    instance.maxDiskSize = GetLongValue(object, "maxDiskSize");
    ConvertNestedObject(object, "settings", instance.settings);
    ConvertNestedObject(object, "serverCaCert", instance.serverCaCert);
    ConvertNestedList(object, "ipAddresses", instance.ipAddresses);
    instance.instanceType = GetStringValue(object, "instanceType");
    instance.masterInstanceName = GetStringValue(object, "masterInstanceName");
    ConvertNestedListString(object, "replicaNames", instance.replicaNames);
    ConvertNestedObject(object, "failoverReplica", instance.failoverReplica);
    instance.ipv6Address = GetStringValue(object, "ipv6Address");
    instance.serviceAccountEmailAddress = GetStringValue(object, "serviceAccountEmailAddress");
    ConvertNestedObject(object, "onPremisesConfiguration", instance.onPremisesConfiguration);
    ConvertNestedObject(object, "replicaConfiguration", instance.replicaConfiguration);
    ConvertNestedListString(object, "suspensionReason", instance.suspensionReason);
    instance.gceZone = GetStringValue(object, "gceZone");
    return true;
}

}  // namespace GoogleCloudSDKWrapper
